// Saves surfaces of arbitrary small geometry, depth and contents under every
// format number from -2 to 16, mirrored or not, and feeds the pixel converters
// arbitrary descriptors, hostile ones among them. Properties:
//  - a save answers 0 or 1; an unknown number, a surface without pixels or a
//    depth the encoder cannot take answers 0, everything else 1;
//  - a BMP file is its headers (plus the colour table up to 8 bits) and the
//    pixel memory as stored, a dump is the pixel memory alone, mirrored rows
//    reversed; JPEG, PNG and TIFF files start with their signatures;
//  - a converter answers 0..9, never writes its source and never touches its
//    destination when it refuses.
// The buffers handed to the converters are exactly as large as their
// descriptors claim, so AddressSanitizer catches any access beyond the claim.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "imaging/dib_surface.h"
#include "imaging/pixel_converters.h"
#include "output/still_image.h"

namespace {

using kt::fuzz::Expect;
using kt::fuzz::Input;
using kt::fuzz::ReadAll;

bool StartsWith(const std::vector<uint8_t>& bytes, const char* prefix, size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), prefix, length) == 0;
}

bool EndsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& tail) {
  return bytes.size() >= tail.size() &&
         std::memcmp(bytes.data() + bytes.size() - tail.size(), tail.data(), tail.size()) == 0;
}

bool EncoderTakes(int bits) {
  return bits == 8 || bits == 16 || bits == 24 || bits == 32 || bits == 48 || bits == 64;
}

// The pixel memory as the file should hold it: stored order, or rows reversed.
std::vector<uint8_t> ExpectedPixels(const kt::CDibSurface& surface, bool mirrored) {
  const size_t stride = static_cast<size_t>(surface.stride());
  const size_t height = static_cast<size_t>(surface.height());
  std::vector<uint8_t> rows(stride * height);
  for (size_t row = 0; row < height; ++row) {
    const size_t from = mirrored ? height - 1 - row : row;
    std::memcpy(rows.data() + row * stride, surface.pixels() + from * stride, stride);
  }
  return rows;
}

void CheckSaved(const std::vector<uint8_t>& file, const kt::CDibSurface& surface, int number,
                bool mirrored) {
  Expect(!file.empty());
  const std::vector<uint8_t> pixels = ExpectedPixels(surface, mirrored);
  switch (number) {
    case kt::kStillBmp:
      Expect(file.size() == 14 + 40 + (surface.bits_per_pixel() <= 8 ? 1024u : 0u) + pixels.size());
      Expect(StartsWith(file, "BM", 2) && EndsWith(file, pixels));
      break;
    case kt::kStillPixelDump:
      Expect(file == pixels);
      break;
    case kt::kStillJpeg100:
    case kt::kStillJpeg70:
    case kt::kStillJpeg20:
      Expect(StartsWith(file, "\xFF\xD8\xFF", 3));
      break;
    case kt::kStillPng:
      Expect(StartsWith(file, "\x89PNG\r\n\x1A\n", 8));
      break;
    case kt::kStillTiff:
      Expect(StartsWith(file, "II*\0", 4) || StartsWith(file, "MM\0*", 4));
      break;
    default:
      Expect(false);
  }
}

void FuzzSave(kt::CDibSurface& surface, int number, bool mirrored) {
  const std::string path = kt::fuzz::ScratchFolder() + "/still";
  const std::u16string wide(path.begin(), path.end());
  const int saved = mirrored ? kt::SaveFlippedImageFile(wide.c_str(), &surface, number)
                             : kt::SaveImageFile(wide.c_str(), &surface, number);
  const bool known = number >= kt::kStillBmp && number <= kt::kStillTiff;
  const bool takes = number <= kt::kStillPixelDump || EncoderTakes(surface.bits_per_pixel());
  Expect(saved == ((known && !surface.empty() && takes) ? 1 : 0));
  if (saved == 1) CheckSaved(ReadAll(path), surface, number, mirrored);
  std::remove(path.c_str());
}

// One side of a conversion: a view and the memory it covers.
struct Side {
  kt::ImageView view{};
  std::unique_ptr<uint8_t[]> memory;
  size_t bytes = 0;
};

void MakeSide(Input& input, Side& side) {
  static constexpr int32_t kDepths[] = {8, 16, 24, 32, 48, 64, 0, 12, -8, 40};
  int32_t width = input.Small(-2, 22);
  int32_t height = input.Small(-2, 22);
  const int32_t bits = kDepths[input.Byte() % 10];
  int32_t stride = width > 0 && bits > 0 ? (width * bits / 8 + 3) & ~3 : 4;
  const uint8_t hostile = input.Byte();
  if (hostile & 1) stride = input.Small(-8, 120);  // too short, negative or just odd
  // Exactly the bytes the view covers: stride x height when both are
  // positive, nothing (a null pointer) otherwise or when asked to.
  if (stride > 0 && height > 0 && (hostile & 4) == 0) {
    side.bytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    side.memory.reset(new uint8_t[side.bytes]);
    input.Fill(side.memory.get(), side.bytes);
  }
  uint8_t* pixels = side.memory.get();
  // A part of a well-formed image: rows and columns cut from its start and end.
  if ((hostile & 2) != 0 && pixels != nullptr && width > 0 && bits >= 8 &&
      int64_t{width} * (bits / 8) <= stride) {
    const int32_t top = input.Small(0, height);
    const int32_t left = input.Small(0, width);
    pixels += static_cast<size_t>(top) * static_cast<size_t>(stride) +
              static_cast<size_t>(left) * static_cast<size_t>(bits / 8);
    height = input.Small(1, height - top);
    width = input.Small(1, width - left);
  }
  const kt::RowOrder rows = (hostile & 8) != 0 ? kt::RowOrder::kTopDown : kt::RowOrder::kBottomUp;
  side.view = kt::ImageView{pixels, width, height, stride, bits, rows};
}

void FuzzConverter(Input& input) {
  static constexpr kt::PixelConverter kConverters[] = {kt::ConvertForJpeg, kt::ConvertForPng,
                                                       kt::ConvertForTiff};
  const kt::PixelConverter convert = kConverters[input.Byte() % 3];
  Side dst;
  Side src;
  MakeSide(input, dst);
  MakeSide(input, src);
  const std::vector<uint8_t> dst_before(dst.memory.get(), dst.memory.get() + dst.bytes);
  const std::vector<uint8_t> src_before(src.memory.get(), src.memory.get() + src.bytes);
  const bool converted = convert(dst.view, kt::AsConst(src.view));
  Expect(std::equal(src_before.begin(), src_before.end(), src.memory.get()));
  if (!converted) Expect(std::equal(dst_before.begin(), dst_before.end(), dst.memory.get()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  // Mostly the depths the writers take; now and then one they do not (4 is
  // refused by the surface itself, 12 and 40 make surfaces the encoders refuse).
  static constexpr int kDepths[] = {8, 16, 24, 32, 48, 64, 8, 16, 24, 32, 48, 64, 4, 12, 40, 24};
  const int width = 1 + input.Byte() % 64;
  const int height = 1 + input.Byte() % 64;
  const int bits = kDepths[input.Byte() % 16];
  const int number = static_cast<int>(input.Byte() % 19) - 2;  // -2 .. 16
  const bool mirrored = input.Byte() % 2 != 0;
  FuzzConverter(input);

  kt::CDibSurface surface;
  if (surface.CreateInMemory(width, height, bits)) {
    Expect(!surface.empty());
    input.Fill(surface.pixels(), surface.byte_size());
  } else {
    Expect(bits < 8 && surface.empty());
  }
  FuzzSave(surface, number, mirrored);
  return 0;
}
