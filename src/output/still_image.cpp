#include "output/still_image.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/dib_surface.h"
#include "imaging/pixel_converters.h"
#include "output/jpeg_writer.h"
#include "output/png_writer.h"
#include "output/tiff_writer.h"
#include "platform/gdi.h"
#include "platform/sdk_file.h"
#include "thermal/thermo_table.h"

namespace kt {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kColorTableBytes = platform::kColorTableEntries * sizeof(platform::RgbQuad);
// Pixel data offset without and with a colour table: 54 and 1078.
constexpr uint32_t kPlainHeaderSize = kFileHeaderSize + platform::kBitmapInfoHeaderSize;
constexpr uint32_t kPalettedHeaderSize = kPlainHeaderSize + kColorTableBytes;

bool HasName(const char16_t* path) { return path != nullptr && path[0] != u'\0'; }

// The surface's pixel memory size as one write's byte count; false when the
// surface has none or it does not fit a single write.
bool PixelBytes(const CDibSurface& surface, uint32_t* bytes) {
  const size_t size = surface.byte_size();
  if (surface.empty() || size == 0 || size > UINT32_MAX) return false;
  *bytes = static_cast<uint32_t>(size);
  return true;
}

void PutLittleEndian32(uint8_t* at, uint32_t value) {
  for (int b = 0; b < 4; ++b) at[b] = static_cast<uint8_t>(value >> (8 * b));
}

bool SavePixelDump(const CDibSurface& surface, const char16_t* path) {
  uint32_t bytes = 0;
  if (!HasName(path) || !PixelBytes(surface, &bytes)) return false;
  CSdkFile file;
  if (file.OpenWrite(path) == nullptr) return false;
  const bool written = file.Write(surface.pixels(), bytes);
  file.Close();
  return written;
}

// Fills a buffer of width x height samples with `convert` and writes it with
// one write. The buffer is typed so that float and int32 samples are aligned.
template <typename Sample>
bool WriteConvertedMap(const char16_t* path, const CDibSurface& raw, const CThermoTable& table,
                       bool (CThermoTable::*convert)(const CDibSurface&, Sample*, RowOrder) const,
                       RowOrder rows) {
  if (raw.empty() || raw.width() <= 0 || raw.height() <= 0) return false;
  const uint64_t count = static_cast<uint64_t>(raw.width()) * static_cast<uint64_t>(raw.height());
  if (count * sizeof(Sample) > UINT32_MAX) return false;
  std::unique_ptr<Sample[]> samples(new (std::nothrow) Sample[static_cast<size_t>(count)]);
  if (!samples || !(table.*convert)(raw, samples.get(), rows)) return false;
  CSdkFile file;
  if (file.OpenWrite(path) == nullptr) return false;
  const bool written = file.Write(samples.get(), static_cast<uint32_t>(count * sizeof(Sample)));
  file.Close();
  return written;
}

// Fills `scratch` with `source` converted by `converter`; false when either
// step fails, so that a refused conversion never reaches a file as zeros.
bool ConvertInto(CDibSurface& scratch, const CDibSurface& source, PixelConverter converter) {
  return !scratch.empty() && converter(scratch.View(), source.View());
}

int JpegQuality(int number) {
  switch (number) {
    case kStillJpeg70:
      return 70;
    case kStillJpeg20:
      return 20;
    default:
      return 100;
  }
}

// The JPEG writer takes 8-bit grey and 24-bit colour; deeper codes are brought
// down to those first.
bool SaveJpegPath(const char16_t* path, const CDibSurface& surface, int quality) {
  if (!HasName(path)) return false;
  int scratch_bits = 0;
  switch (surface.bits_per_pixel()) {
    case 8:
    case 24:
      return SaveJpegFile(path, surface, quality);
    case 16:
      scratch_bits = 8;
      break;
    case 32:
    case 48:
    case 64:
      scratch_bits = 24;
      break;
    default:
      return false;
  }
  CDibSurface scratch;
  if (!scratch.Create(surface.width(), surface.height(), scratch_bits) ||
      !ConvertInto(scratch, surface, ConvertForJpeg)) {
    return false;
  }
  const bool result = SaveJpegFile(path, scratch, quality);
  scratch.Release();
  return result;
}

// The PNG writer takes 8-, 24- and 32-bit pixels as stored; 16-bit samples are
// scaled to the full range first.
bool SavePngPath(const char16_t* path, const CDibSurface& surface) {
  if (!HasName(path)) return false;
  switch (surface.bits_per_pixel()) {
    case 8:
    case 24:
    case 32:
      return SavePngFile(path, surface);
    case 16:
    case 48:
    case 64:
      break;
    default:
      return false;
  }
  CDibSurface scratch;
  if (!scratch.CreateLike(&surface) || !ConvertInto(scratch, surface, ConvertForPng)) return false;
  const bool result = SavePngFile(path, scratch);
  scratch.Release();
  return result;
}

}  // namespace

bool SaveBmpFile(const CDibSurface& surface, const char16_t* path) {
  uint32_t pixel_bytes = 0;
  if (!HasName(path) || !PixelBytes(surface, &pixel_bytes)) return false;
  const bool paletted = surface.bits_per_pixel() <= 8;
  const uint32_t header_size = paletted ? kPalettedHeaderSize : kPlainHeaderSize;

  // File header, info header and colour table go out as one write, the
  // pixels as a second.
  uint8_t header[kPalettedHeaderSize] = {'B', 'M'};
  PutLittleEndian32(header + 2, header_size + pixel_bytes);  // file size
  PutLittleEndian32(header + 6, 0);                          // reserved
  PutLittleEndian32(header + 10, header_size);               // pixel data offset
  std::memcpy(header + kFileHeaderSize, &surface.info_header(), platform::kBitmapInfoHeaderSize);
  if (paletted) {
    platform::RgbQuad colors[platform::kColorTableEntries] = {};
    (void)surface.ReadColorTable(colors);
    std::memcpy(header + kPlainHeaderSize, colors, kColorTableBytes);
  }

  CSdkFile file;
  if (file.OpenWrite(path) == nullptr) return false;
  // The pixels are written even after a failed header write; only the
  // combined outcome counts.
  bool written = file.Write(header, header_size);
  written &= file.Write(surface.pixels(), pixel_bytes);
  file.Close();
  return written;
}

bool SaveImageFile(const char16_t* path, const CDibSurface* surface, int number) {
  if (surface == nullptr) return false;
  switch (number) {
    case kStillBmp:
      return SaveBmpFile(*surface, path);
    case kStillPixelDump:
      return SavePixelDump(*surface, path);
    case kStillJpeg100:
    case kStillJpeg70:
    case kStillJpeg20:
      return SaveJpegPath(path, *surface, JpegQuality(number));
    case kStillPng:
      return SavePngPath(path, *surface);
    case kStillTiff:
      // The TIFF writer converts into a scratch surface of its own.
      return SaveTiffFile(path, *surface);
    default:
      return false;
  }
}

bool SaveFlippedImageFile(const char16_t* path, const CDibSurface* surface, int number) {
  if (surface == nullptr || surface->empty()) return false;
  // The scratch copy is released by its destructor on every return path.
  CDibSurface mirrored;
  if (!mirrored.CreateLike(surface) || mirrored.empty()) return false;
  const size_t stride = static_cast<size_t>(surface->stride());
  const size_t height = static_cast<size_t>(surface->height());
  if (static_cast<size_t>(mirrored.stride()) != stride ||
      static_cast<size_t>(mirrored.height()) != height) {
    return false;
  }
  const uint8_t* source = surface->pixels();
  uint8_t* target = mirrored.pixels();
  for (size_t row = 0; row < height; ++row) {
    std::memcpy(target + row * stride, source + (height - 1 - row) * stride, stride);
  }
  const bool result = SaveImageFile(path, &mirrored, number);
  mirrored.Release();
  return result;
}

bool SaveTemperatureMap(const char16_t* path, const CDibSurface& raw, const CThermoTable& table,
                        int number, bool mirror) {
  if (!HasName(path)) return false;
  // Without the mirror flag the integer maps start with the picture's top row
  // and the float map with its bottom row, the order of the host's
  // temperature fetch with its default row order; the flag turns each around.
  // Files already written in each format are read back in that order, so the
  // two families keep their different defaults.
  const RowOrder integer_rows = mirror ? RowOrder::kBottomUp : RowOrder::kTopDown;
  const RowOrder float_rows = mirror ? RowOrder::kTopDown : RowOrder::kBottomUp;
  switch (number) {
    case kTemperatureMapInt8:
      return WriteConvertedMap<int8_t>(path, raw, table, &CThermoTable::ConvertToInt8,
                                       integer_rows);
    case kTemperatureMapUInt8:
      return WriteConvertedMap<uint8_t>(path, raw, table, &CThermoTable::ConvertToUInt8,
                                        integer_rows);
    case kTemperatureMapInt32:
      return WriteConvertedMap<int32_t>(path, raw, table, &CThermoTable::ConvertToInt32,
                                        integer_rows);
    case kTemperatureMapFloat:
      return WriteConvertedMap<float>(path, raw, table, &CThermoTable::ConvertToFloat, float_rows);
    default:
      return false;
  }
}

}  // namespace kt
