// Saves surfaces of arbitrary small geometry, depth and contents in every
// still format number (and numbers outside the table), mirrored or not, and
// feeds the pixel converters arbitrary descriptors. A save answers 0 or 1; a
// 1 leaves a file of the format's size or signature; a converter that refuses
// leaves its destination untouched. Nothing may read or write out of bounds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/dib_surface.h"
#include "imaging/pixel_converters.h"
#include "output/still_image.h"

namespace {

void Expect(bool condition) {
  if (!condition) __builtin_trap();
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int32_t Int() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return static_cast<int32_t>(value);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

const std::string& Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/kolthermo-still-fuzz-XXXXXX";
    const char* made = mkdtemp(name);
    return std::string(made != nullptr ? made : "/tmp");
  }();
  return folder;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(file);
  }
  return bytes;
}

bool StartsWith(const std::vector<uint8_t>& bytes, const char* prefix, size_t length) {
  return bytes.size() >= length && std::memcmp(bytes.data(), prefix, length) == 0;
}

void CheckSaved(const std::vector<uint8_t>& file, const kt::CDibSurface& surface, int number) {
  const size_t pixels = static_cast<size_t>(surface.stride()) * surface.height();
  switch (number) {
    case kt::kStillBmp:
      Expect(file.size() == 54 + (surface.bits_per_pixel() <= 8 ? 1024u : 0u) + pixels);
      break;
    case kt::kStillPixelDump:
      Expect(file.size() == pixels);
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

void FuzzConverter(Input& input) {
  static constexpr kt::PixelConverter kConverters[] = {kt::ConvertForJpeg, kt::ConvertForPng,
                                                       kt::ConvertForTiff};
  static constexpr int32_t kDepths[] = {8, 16, 24, 32, 48, 64, 0, 12};
  // Buffers are as large as the descriptors honestly need; the descriptors
  // may then claim more or less than that.
  kt::ImageDescriptor side[2];
  std::vector<uint8_t> memory[2];
  for (int s = 0; s < 2; ++s) {
    const int32_t width = input.Byte() % 20;
    const int32_t height = input.Byte() % 20;
    const int32_t bits = kDepths[input.Byte() % 8];
    const int32_t stride = ((width * bits / 8) + 3) & ~3;
    memory[s].assign(static_cast<size_t>(stride) * static_cast<size_t>(height), input.Byte());
    side[s] = {kt::kImageDescriptorSize,
               width,
               height,
               stride,
               bits,
               memory[s].empty() ? nullptr : memory[s].data(),
               {0, 0, width, height}};
    if (input.Byte() % 4 == 0) {  // a hostile rectangle
      side[s].rect = {input.Int() % 40, input.Int() % 40, input.Int() % 40, input.Int() % 40};
    }
    if (input.Byte() % 8 == 0) side[s].stride = input.Int() % 200;  // a wrong stride
  }
  const kt::ConverterOptions options{
      kt::kConverterOptionsSize,
      input.Byte() % 2 ? kt::kConverterOptionsDefaults : kt::kConverterOptionsExplicit, 0};
  // A wrong stride may claim more than the buffer: such descriptors must be
  // refused only when they really are invalid, so keep the memory honest by
  // checking before the call.
  for (const auto& d : side) {
    if (d.pixels != nullptr && static_cast<int64_t>(d.stride) * d.height >
                                   static_cast<int64_t>(memory[&d - side].size())) {
      return;
    }
  }
  const std::vector<uint8_t> before = memory[0];
  const int code = kConverters[input.Byte() % 3](&side[0], &side[1], &options, 0, 0);
  if (code != 0) Expect(memory[0] == before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  static constexpr int kDepths[] = {8, 16, 24, 32, 48, 64, 4, 12};
  const int width = 1 + input.Byte() % 48;
  const int height = 1 + input.Byte() % 48;
  const int bits = kDepths[input.Byte() % 8];
  const int number = static_cast<int>(input.Byte() % 10) - 2;  // -2 .. 7
  const bool mirrored = input.Byte() % 2 != 0;

  kt::CDibSurface surface;
  if (surface.CreateInMemory(width, height, bits) == 1 && !surface.empty()) {
    uint8_t* pixels = surface.pixels();
    const size_t bytes = static_cast<size_t>(surface.stride()) * surface.height();
    for (size_t i = 0; i < bytes; ++i) pixels[i] = input.Byte();
    const std::string path = Folder() + "/still";
    const std::u16string wide(path.begin(), path.end());
    std::remove(path.c_str());
    const int saved = mirrored ? kt::SaveFlippedImageFile(wide.c_str(), &surface, number)
                               : kt::SaveImageFile(wide.c_str(), &surface, number);
    Expect(saved == 0 || saved == 1);
    if (number < 0 || number > kt::kStillTiff) Expect(saved == 0);
    if (saved == 1) CheckSaved(ReadAll(path), surface, number);
    std::remove(path.c_str());
  }
  FuzzConverter(input);
  return 0;
}
