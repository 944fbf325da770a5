// Drives the AVI writer through arbitrary call sequences (open, frames, frame
// counts, rates, finish, reset, in any order) with arbitrary small geometries
// and rates, 0 among them, and frames with null pixels. Open succeeds exactly
// when the geometry and rate are usable; AddFrame accepts a frame exactly when
// a file is open and pixels are given, and only then grows the index and the
// RIFF size (by the chunk, unpadded). After every successful Finish the file must be
// consistent: the RIFF size covers the file, the header's frame count equals
// the index entries and the frames accepted, and every index entry points at
// a "00db" chunk of the frame size inside the movie list.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "output/avi_writer.h"

namespace {

using kt::fuzz::Expect;
using kt::fuzz::Input;
using kt::fuzz::ReadAll;

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  Expect(at + 4 <= bytes.size());
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

bool Tag(const std::vector<uint8_t>& bytes, size_t at, const char* tag) {
  return at + 4 <= bytes.size() && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

void CheckFinished(const std::string& path, uint32_t frames, uint32_t frame_bytes) {
  const std::vector<uint8_t> bytes = ReadAll(path);
  Expect(Tag(bytes, 0, "RIFF") && Tag(bytes, 8, "AVI "));
  Expect(Le32(bytes, 4) + 8 == bytes.size());
  Expect(Le32(bytes, 48) == frames);  // the main header's total frames
  size_t movi = 0;
  size_t movi_end = 0;
  bool indexed = false;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = Le32(bytes, at + 4);
    if (Tag(bytes, at, "LIST") && Tag(bytes, at + 8, "movi")) {
      movi = at + 8;
      movi_end = at + 8 + size;
    }
    if (Tag(bytes, at, "idx1")) {
      indexed = true;
      Expect(size == frames * 16u);
      for (uint32_t entry = 0; entry < frames; ++entry) {
        const size_t e = at + 8 + entry * 16u;
        const size_t chunk = movi + Le32(bytes, e + 8);
        Expect(Tag(bytes, e, "00db") && Le32(bytes, e + 12) == frame_bytes);
        Expect(Tag(bytes, chunk, "00db") && Le32(bytes, chunk + 4) == frame_bytes);
        Expect(chunk + 8 + frame_bytes <= movi_end);
      }
    }
    at += 8 + static_cast<size_t>(size);
  }
  Expect(indexed && movi != 0 && movi_end <= bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  kt::AviWriter writer;
  const std::string path = kt::fuzz::ScratchFolder() + "/fuzz.avi";
  const std::u16string wide(path.begin(), path.end());
  std::vector<uint8_t> pixels;
  uint32_t accepted = 0;
  int operations = 0;
  while (input.more() && operations++ < 256) {
    switch (input.Byte() % 8) {
      case 0: {  // geometry and rate, then open
        static constexpr uint16_t kDepths[] = {8, 16, 24, 32, 0};
        writer.set_width(input.Byte() % 33);
        writer.set_height(input.Byte() % 33);
        writer.set_bits_per_pixel(kDepths[input.Byte() % 5]);
        writer.set_rate(input.Byte() % 4 == 0 ? 0u : 1u + input.Byte() * 97u);
        writer.set_frame_count(0);
        const bool opened = writer.Open(wide.c_str());
        Expect(opened == writer.is_open());
        // The folder is writable and frames are small: only the settings
        // decide whether Open succeeds.
        const bool usable = writer.width() > 0 && writer.height() > 0 &&
                            writer.bits_per_pixel() > 0 && writer.rate() > 0;
        Expect(opened == usable);
        Expect(!opened || writer.riff_bytes() > 0);
        accepted = 0;
        pixels.assign(writer.frame_bytes(), 0);
        break;
      }
      case 1:
      case 2:
      case 3: {  // frames
        const int count = 1 + input.Byte() % 8;
        const uint8_t fill = input.Byte();
        const bool null_pixels = fill % 16 == 0;
        for (int i = 0; i < count; ++i) {
          if (!pixels.empty()) std::memset(pixels.data(), fill, pixels.size());
          const bool open = writer.is_open() && pixels.size() == writer.frame_bytes();
          const uint32_t riff_before = writer.riff_bytes();
          const size_t index_before = writer.index().size();
          const bool added = writer.AddFrame(open && !null_pixels ? pixels.data() : nullptr);
          Expect(added == (open && !null_pixels));
          // A refused frame leaves no trace; an accepted one adds its chunk.
          Expect(writer.index().size() == index_before + (added ? 1 : 0));
          Expect(writer.riff_bytes() == riff_before + (added ? 8 + writer.frame_bytes() : 0));
          if (added) {
            ++accepted;
            writer.set_frame_count(writer.frame_count() + 1);
          }
        }
        break;
      }
      case 4:
        writer.set_rate(input.Byte() % 3 == 0 ? 0u : input.Byte() * 1000u + input.Byte());
        break;
      case 5:
        writer.set_frame_count(input.Byte());
        break;
      case 6: {
        const bool was_open = writer.is_open();
        const uint32_t frame = writer.frame_bytes();
        const bool finished = writer.Finish();
        Expect(!finished || was_open);
        Expect(!writer.is_open());
        if (finished) CheckFinished(path, accepted, frame);
        writer.Reset();
        break;
      }
      default:
        writer.Reset();
        Expect(!writer.is_open());
        break;
    }
  }
  writer.Reset();
  std::remove(path.c_str());
  return 0;
}
