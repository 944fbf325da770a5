// Errors and warnings are caught per file through libtiff's open options
// rather than its process-wide handlers, so concurrent saves, and any other
// libtiff user in the host process, keep their own handling.
#include "output/tiff_writer.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <tiffio.h>

#include "imaging/dib_surface.h"
#include "imaging/pixel_converters.h"
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

// Opens `name` for writing with this save's error counter.
TIFF* OpenForWriting(const char* name, int* errors) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options, CountError, errors);
  TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, nullptr);
  // The handle keeps its own copy of the handlers.
  TIFF* tiff = TIFFOpenExt(name, "w", options);
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
  if (scratch.CreateLike(&surface) == 0 || scratch.empty()) return false;
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits_per_sample);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samples_per_pixel);
  if (scratch.ConvertFrom(ConvertForTiff, &surface, nullptr, nullptr, nullptr, 0, 0) != 0) {
    return false;
  }
  const size_t row_bytes = static_cast<size_t>(width) * (surface.bits_per_pixel() / 8);
  PackRows(scratch, row_bytes);
  const auto strip_bytes = static_cast<tmsize_t>(row_bytes * height);
  return TIFFWriteEncodedStrip(tiff, 0, scratch.pixels(), strip_bytes) == strip_bytes;
}

}  // namespace

int SaveTiffFile(const char16_t* path, const CDibSurface& surface) {
  TiffSampleLayout layout{};
  if (path == nullptr || path[0] == u'\0' || surface.empty()) return 0;
  if (!LayoutFor(surface.bits_per_pixel() / 8, &layout) || surface.bits_per_pixel() % 8 != 0) {
    return 0;
  }
  char name[kNameBytes] = {};
  // 0 when the name does not fit in the buffer with its terminator.
  if (platform::WideToNarrow(path, name, kNameBytes) == 0) return 0;

  int errors = 0;
  TIFF* tiff = OpenForWriting(name, &errors);
  if (tiff == nullptr) return 0;
  const bool written = WriteStrip(tiff, surface, layout);
  // Closing writes the directory; failures there are counted as well.
  TIFFClose(tiff);
  return written && errors == 0 ? 1 : 0;
}

}  // namespace kt
