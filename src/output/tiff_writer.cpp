// Errors and warnings are caught per file through libtiff's open options
// rather than its process-wide handlers, so concurrent saves, and any other
// libtiff user in the host process, keep their own handling.
//
// libtiff reads and writes through client procedures on a CSdkFile, so a TIFF
// file is opened like every other file the SDK writes: not shared, regular
// files only, the name converted strictly.
#include "output/tiff_writer.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <tiffio.h>

#include "imaging/dib_surface.h"
#include "imaging/pixel_converters.h"
#include "platform/file.h"
#include "platform/sdk_file.h"
#include "platform/text.h"

namespace kt {
namespace {

// The narrow name buffer: a classic path limit, terminator included.
constexpr int kNameBytes = 260;

struct TiffSampleLayout {
  uint16_t bits_per_sample;
  uint16_t photometric;
  uint16_t samples_per_pixel;
};

// Sample tags by bytes per pixel; false for depths the writer refuses.
bool LayoutFor(int bytes_per_pixel, TiffSampleLayout* layout) {
  switch (bytes_per_pixel) {
    case 1:
      *layout = {8, PHOTOMETRIC_MINISBLACK, 1};
      return true;
    case 2:
      *layout = {16, PHOTOMETRIC_MINISBLACK, 1};
      return true;
    case 3:
      *layout = {8, PHOTOMETRIC_RGB, 3};
      return true;
    case 4:
      *layout = {8, PHOTOMETRIC_RGB, 4};
      return true;
    case 6:
      *layout = {16, PHOTOMETRIC_RGB, 3};
      return true;
    case 8:
      *layout = {16, PHOTOMETRIC_RGB, 4};
      return true;
    default:
      return false;
  }
}

// Error handler of one file: counts, and stops libtiff from also calling the
// process-wide handler (which prints to stderr).
int CountError(TIFF* /*tiff*/, void* user_data, const char* /*module*/, const char* /*format*/,
               va_list /*args*/) {
  ++*static_cast<int*>(user_data);
  return 1;
}

int IgnoreWarning(TIFF* /*tiff*/, void* /*user_data*/, const char* /*module*/,
                  const char* /*format*/, va_list /*args*/) {
  return 1;
}

// libtiff's client procedures over the save's CSdkFile (the client handle).
CSdkFile* FileOf(thandle_t handle) { return static_cast<CSdkFile*>(handle); }

tmsize_t ReadFromFile(thandle_t handle, void* buffer, tmsize_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > UINT32_MAX) return -1;
  uint32_t read = 0;
  if (!platform::FileRead(FileOf(handle)->handle(), buffer, static_cast<uint32_t>(size), &read)) {
    return -1;
  }
  return static_cast<tmsize_t>(read);
}

tmsize_t WriteToFile(thandle_t handle, void* data, tmsize_t size) {
  if (size < 0 || !FileOf(handle)->WriteAll(data, static_cast<size_t>(size))) return -1;
  return size;
}

toff_t SeekInFile(thandle_t handle, toff_t offset, int whence) {
  platform::SeekOrigin origin = platform::SeekOrigin::kBegin;
  if (whence == SEEK_CUR) origin = platform::SeekOrigin::kCurrent;
  if (whence == SEEK_END) origin = platform::SeekOrigin::kEnd;
  uint64_t position = 0;
  // libtiff passes backward moves from the current position or the end as
  // offsets that wrap; the signed reading restores them.
  if (!platform::FileSeek(FileOf(handle)->handle(), static_cast<int64_t>(offset), origin,
                          &position)) {
    return static_cast<toff_t>(-1);
  }
  return position;
}

// The save closes its CSdkFile itself, after TIFFClose has written the
// directory.
int KeepFileOpen(thandle_t /*handle*/) { return 0; }

toff_t FileSizeOf(thandle_t handle) {
  uint64_t size = 0;
  return platform::FileSize(FileOf(handle)->handle(), &size) ? size : 0;
}

// No memory mapping: libtiff falls back to reads.
int MapNothing(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/) { return 0; }
void UnmapNothing(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

// Starts a TIFF in the open `file`, named `name` in libtiff's messages, with
// this save's error counter.
TIFF* OpenForWriting(const char* name, CSdkFile* file, int* errors) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, CountError, errors);
  TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, nullptr);
  // The handle keeps its own copy of the handlers. "m": never map the file.
  TIFF* tiff = TIFFClientOpenExt(name, "wm", file, ReadFromFile, WriteToFile, SeekInFile,
                                 KeepFileOpen, FileSizeOf, MapNothing, UnmapNothing, options);
  TIFFOpenOptionsFree(options);
  return tiff;
}

// Drops each row's padding in place, so the rows lie back to back from the
// start of the pixel memory. Moving forward is safe: a row never moves past
// where it started.
void PackRows(CDibSurface& surface, size_t row_bytes) {
  const auto stride = static_cast<size_t>(surface.stride());
  if (row_bytes == stride) return;
  for (size_t row = 1; row < static_cast<size_t>(surface.height()); ++row) {
    std::memmove(surface.pixels() + row * row_bytes, surface.pixels() + row * stride, row_bytes);
  }
}

// Sets the tags, converts into a scratch surface and writes strip 0. False
// when the scratch surface cannot be had or the strip write fails.
bool WriteStrip(TIFF* tiff, const CDibSurface& surface, const TiffSampleLayout& layout) {
  const auto width = static_cast<uint32_t>(surface.width());
  const auto height = static_cast<uint32_t>(surface.height());
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);

  CDibSurface scratch;
  if (!scratch.CreateLike(&surface) || scratch.empty()) return false;
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits_per_sample);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samples_per_pixel);
  // The scratch rows are the strip's rows, top row first: the converter
  // turns the surface's bottom-up rows around on the way in.
  ImageView strip_rows = scratch.View();
  strip_rows.rows = RowOrder::kTopDown;
  if (!ConvertForTiff(strip_rows, surface.View())) return false;
  const size_t row_bytes = static_cast<size_t>(width) * (surface.bits_per_pixel() / 8);
  PackRows(scratch, row_bytes);
  const auto strip_bytes = static_cast<tmsize_t>(row_bytes * height);
  return TIFFWriteEncodedStrip(tiff, 0, scratch.pixels(), strip_bytes) == strip_bytes;
}

}  // namespace

bool SaveTiffFile(const char16_t* path, const CDibSurface& surface) {
  TiffSampleLayout layout{};
  if (path == nullptr || path[0] == u'\0' || surface.empty()) return false;
  if (!LayoutFor(surface.bits_per_pixel() / 8, &layout) || surface.bits_per_pixel() % 8 != 0) {
    return false;
  }
  char name[kNameBytes] = {};
  // 0 when the name does not fit in the buffer with its terminator. The
  // narrow name only labels libtiff's messages: the file is opened by its
  // wide name.
  if (platform::WideToNarrow(path, name, kNameBytes) == 0) return false;

  CSdkFile file;
  if (file.OpenWrite(path) == nullptr) return false;
  int errors = 0;
  TIFF* tiff = OpenForWriting(name, &file, &errors);
  if (tiff == nullptr) return false;
  const bool written = WriteStrip(tiff, surface, layout);
  // Closing writes the directory; failures there are counted as well.
  TIFFClose(tiff);
  return written && errors == 0;
}

}  // namespace kt
