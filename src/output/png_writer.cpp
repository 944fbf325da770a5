// libpng reports errors through a callback that must not return. Ours prints
// the message and jumps back to the save that owns the write structure: the
// save is found through the structure's error pointer, so each call has its
// own recovery point and concurrent saves never share one.
//
// setjmp/longjmp rules: the function that calls setjmp keeps everything it
// needs after the jump in a PngSave reached through a pointer, and no object
// with a destructor lives between the setjmp and a possible longjmp.
//
// The encoded bytes go through write callbacks into a CSdkFile, so a PNG file
// is opened like every other file the SDK writes: not shared, regular files
// only, the name converted strictly. libpng hands over each chunk as three
// small pieces (length and type, data, checksum); they are gathered in a
// buffer and reach the system in large writes.
#include "output/png_writer.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "imaging/dib_surface.h"
#include "imaging/pixel_converters.h"
#include "platform/sdk_file.h"

namespace kt {
namespace {

// Raised when the row table cannot be allocated: "SavePngFile : " followed by
// "memory allocation failed" in Japanese, in code page 932 (Shift-JIS) bytes.
constexpr char kRowTableAllocationFailed[] =
    "SavePngFile : \x83\x81\x83\x82\x83\x8a\x8a\x6d\x95\xdb\x82\xc9\x8e\xb8\x94\x73";

// Encoded bytes gathered before a write.
constexpr size_t kWriteBufferBytes = 64 * 1024;

// Everything a save owns, so that the recovery path can release it.
struct PngSave {
  CSdkFile* file;
  png_structp png;
  png_infop info;
  png_bytep* rows;       // the row table, from malloc
  uint8_t* pending;      // kWriteBufferBytes from malloc, or null: every piece written at once
  size_t pending_bytes;  // encoded bytes waiting in `pending`
  bool armed;            // recovery holds a live setjmp context
  std::jmp_buf recovery;
};

struct PngFormat {
  int bit_depth;
  int colour_type;
};

// Header fields for a surface depth; false for depths the writer refuses.
bool FormatFor(int bits_per_pixel, PngFormat* format) {
  switch (bits_per_pixel) {
    case 8:
      *format = {8, PNG_COLOR_TYPE_GRAY};
      return true;
    case 16:
      *format = {16, PNG_COLOR_TYPE_GRAY};
      return true;
    case 24:
      *format = {8, PNG_COLOR_TYPE_RGB};
      return true;
    case 32:
      *format = {8, PNG_COLOR_TYPE_RGB_ALPHA};
      return true;
    case 48:
      *format = {16, PNG_COLOR_TYPE_RGB};
      return true;
    case 64:
      *format = {16, PNG_COLOR_TYPE_RGB_ALPHA};
      return true;
    default:
      return false;
  }
}

// 16-bit samples are sensor codes widened from 14 bits (ConvertForPng): the
// sBIT chunk tells readers so, and that value >> 2 is the code.
void MarkSignificantBits(png_structp png, png_infop info) {
  png_color_8 bits{};
  const auto significant = static_cast<png_byte>(kSignificantSampleBits);
  bits.red = bits.green = bits.blue = bits.gray = bits.alpha = significant;
  png_set_sBIT(png, info, &bits);
}

void OnPngError(png_structp png, png_const_charp message) {
  if (png == nullptr) return;
  std::fprintf(stderr, "libpng error: %s\n", message);
  auto* save = static_cast<PngSave*>(png_get_error_ptr(png));
  // Before the save has armed its recovery point (only while libpng builds
  // the write structure) returning lets libpng take its own way out.
  if (save != nullptr && save->armed) std::longjmp(save->recovery, 1);
}

// Hands the gathered bytes to the system; false when it refuses them.
bool WritePending(PngSave* save) {
  const size_t bytes = save->pending_bytes;
  save->pending_bytes = 0;
  return bytes == 0 || save->file->WriteAll(save->pending, bytes);
}

// libpng's write callback. A refused write ends the save through the error
// callback, as libpng's own stdio writer does.
void WriteToFile(png_structp png, png_bytep data, size_t length) {
  auto* save = static_cast<PngSave*>(png_get_io_ptr(png));
  if (save->pending != nullptr && length < kWriteBufferBytes) {
    if (save->pending_bytes + length > kWriteBufferBytes && !WritePending(save)) {
      png_error(png, "Write Error");
    }
    std::memcpy(save->pending + save->pending_bytes, data, length);
    save->pending_bytes += length;
    return;
  }
  if (!WritePending(save) || !save->file->WriteAll(data, length)) png_error(png, "Write Error");
}

void FlushToFile(png_structp png) {
  if (!WritePending(static_cast<PngSave*>(png_get_io_ptr(png)))) png_error(png, "Write Error");
}

// Writes the header, the rows and the end; false after a libpng error. The
// caller releases whatever `save` holds.
bool WriteImage(PngSave* save, const CDibSurface& surface, const PngFormat& format) {
  if (setjmp(save->recovery) != 0) return false;
  save->armed = true;

  png_set_write_fn(save->png, save, WriteToFile, FlushToFile);
  const auto width = static_cast<png_uint_32>(surface.width());
  const auto height = static_cast<png_uint_32>(surface.height());
  png_set_IHDR(save->png, save->info, width, height, format.bit_depth, format.colour_type,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (format.bit_depth == 16) MarkSignificantBits(save->png, save->info);
  png_write_info(save->png, save->info);
  png_set_bgr(save->png);
  // 16-bit samples (grey, and the 48- and 64-bit colour surfaces) sit least
  // significant byte first in the surface; PNG stores them the other way round.
  if (format.bit_depth == 16) png_set_swap(save->png);

  save->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
  if (save->rows == nullptr) png_error(save->png, kRowTableAllocationFailed);
  // libpng copies each row before transforming it, so the surface is only
  // read even though the table's type says otherwise.
  auto* pixels = const_cast<uint8_t*>(surface.pixels());
  const auto stride = static_cast<size_t>(surface.stride());
  for (png_uint_32 i = 0; i < height; ++i) save->rows[i] = pixels + (height - 1 - i) * stride;
  png_write_image(save->png, save->rows);
  png_write_end(save->png, save->info);
  FlushToFile(save->png);
  return true;
}

}  // namespace

bool SavePngFile(const char16_t* path, const CDibSurface& surface) {
  PngFormat format{};
  if (path == nullptr || path[0] == u'\0' || surface.empty()) return false;
  if (!FormatFor(surface.bits_per_pixel(), &format)) return false;
  CSdkFile file;
  if (file.OpenWrite(path) == nullptr) return false;

  PngSave save{};
  save.file = &file;
  save.pending = static_cast<uint8_t*>(std::malloc(kWriteBufferBytes));
  save.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &save, OnPngError, nullptr);
  if (save.png == nullptr) {
    std::free(save.pending);
    return false;
  }
  save.info = png_create_info_struct(save.png);
  if (save.info == nullptr) {
    png_destroy_write_struct(&save.png, nullptr);
    std::free(save.pending);
    return false;
  }
  // Every byte reaches the system through the checked write callback, so the
  // image written is the whole of the save.
  const bool written = WriteImage(&save, surface, format);
  png_destroy_write_struct(&save.png, &save.info);
  std::free(save.rows);
  std::free(save.pending);
  return written;
}

}  // namespace kt
