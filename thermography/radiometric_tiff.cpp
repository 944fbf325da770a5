// libtiff runs over client procedures on the writer's OutputFile, so paths
// are UTF-8 everywhere, errors are counted per file (libtiff's open options)
// instead of going to the process-wide handler, and every write libtiff makes
// is seen: the rollback of a failed page needs to know where it wrote.
#include "radiometric_tiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "radiometric_metadata.h"

namespace kt::thermography {
namespace {

TiffWriter& WriterOf(thandle_t handle) { return *static_cast<TiffWriter*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size) {
  return static_cast<tmsize_t>(WriterOf(handle).ReadAt(data, size));
}
tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
  return static_cast<tmsize_t>(WriterOf(handle).WriteAt(data, size));
}
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  return WriterOf(handle).SeekTo(offset, whence);
}
int CloseProc(thandle_t /*handle*/) { return 0; }
toff_t SizeProc(thandle_t handle) { return WriterOf(handle).FileSize(); }
int MapProc(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/) { return 0; }
void UnmapProc(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}

int ErrorHandler(TIFF* /*tiff*/, void* user_data, const char* /*module*/, const char* /*format*/,
                 va_list /*args*/) {
  static_cast<TiffWriter*>(user_data)->CountError();
  return 1;  // handled: libtiff calls no global handler
}
int WarningHandler(TIFF* /*tiff*/, void* /*user_data*/, const char* /*module*/,
                   const char* /*format*/, va_list /*args*/) {
  return 1;
}

// About 64 KiB per strip: small enough for readers that load strip by strip,
// large enough that a frame is a handful of writes.
std::uint32_t RowsPerStrip(int width, int bytes_per_sample) {
  const std::uint32_t row_bytes = static_cast<std::uint32_t>(width) * bytes_per_sample;
  return std::max<std::uint32_t>(1, 65536 / row_bytes);
}

}  // namespace

TiffWriter::TiffWriter(OutputFile& file, bool big) : file_(file) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return;
  TIFFOpenOptionsSetErrorHandlerExtR(options, ErrorHandler, this);
  TIFFOpenOptionsSetWarningHandlerExtR(options, WarningHandler, nullptr);
  // "m": no memory mapping; "8": BigTIFF. Native byte order, so that pixels
  // are written as the caller holds them, without a swapped copy.
  tiff_ = TIFFClientOpenExt("radiometric", big ? "w8m" : "wm", this, ReadProc, WriteProc, SeekProc,
                            CloseProc, SizeProc, MapProc, UnmapProc, options);
  TIFFOpenOptionsFree(options);
  failed_ = tiff_ == nullptr || errors_ > 0;
}

TiffWriter::~TiffWriter() {
  if (tiff_ != nullptr) {
    // Only reached without Finish (a failure): nothing more may be written.
    failed_ = true;
    TIFFCleanup(tiff_);
  }
}

std::uint64_t TiffWriter::PageBytesBound(int width, int height, int bytes_per_sample) {
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  const std::uint64_t strips =
      static_cast<std::uint64_t>(height) / RowsPerStrip(width, bytes_per_sample) + 1;
  // Directory, metadata text and two offsets per strip, with room to spare.
  return pixels * static_cast<std::uint64_t>(bytes_per_sample) + 8192 + strips * 16;
}

std::int64_t TiffWriter::ReadAt(void* data, std::int64_t size) {
  if (size < 0) return -1;
  return file_.Read(data, static_cast<std::size_t>(size));
}

std::int64_t TiffWriter::WriteAt(const void* data, std::int64_t size) {
  if (failed_ || size < 0) return -1;
  const std::uint64_t offset = file_.position();
  if (offset < page_start_) patches_.push_back({offset, size});
  if (!file_.Write(data, static_cast<std::size_t>(size))) return -1;
  return size;
}

std::uint64_t TiffWriter::SeekTo(std::uint64_t offset, int whence) {
  std::uint64_t target = offset;
  if (whence == SEEK_CUR) target = file_.position() + offset;
  if (whence == SEEK_END) target = file_.size() + offset;
  return file_.Seek(target) ? target : static_cast<std::uint64_t>(-1);
}

bool TiffWriter::AddPage(const TiffPage& page) {
  if (!ok()) return false;
  page_start_ = file_.size();
  patches_.clear();
  const bool is_float = page.samples == TiffSamples::kFloat32;
  const int bytes_per_sample = is_float ? 4 : 2;
  const auto width = static_cast<std::uint32_t>(page.width);
  const auto height = static_cast<std::uint32_t>(page.height);
  const std::uint32_t rows_per_strip = RowsPerStrip(page.width, bytes_per_sample);
  bool written = TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, width) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, height) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, bytes_per_sample * 8) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_SAMPLEFORMAT,
                              is_float ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, 1) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, rows_per_strip) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_IMAGEDESCRIPTION, page.description.c_str()) == 1 &&
                 TIFFSetField(tiff_, TIFFTAG_SOFTWARE, SoftwareName()) == 1 &&
                 (page.date_time.empty() ||
                  TIFFSetField(tiff_, TIFFTAG_DATETIME, page.date_time.c_str()) == 1);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * bytes_per_sample;
  // Uncompressed and in native byte order, libtiff copies the strips without
  // changing them, so the caller's const pixels can be handed over.
  auto* pixels = static_cast<unsigned char*>(const_cast<void*>(page.pixels));
  for (std::uint32_t row = 0; written && row < height; row += rows_per_strip) {
    const std::uint32_t rows = std::min(rows_per_strip, height - row);
    const auto bytes = static_cast<tmsize_t>(rows * row_bytes);
    written = TIFFWriteEncodedStrip(tiff_, row / rows_per_strip, pixels + row * row_bytes, bytes) ==
              bytes;
  }
  written = written && TIFFWriteDirectory(tiff_) == 1 && errors_ == 0;
  if (!written) UnlinkFailedPage();
  return written;
}

void TiffWriter::UnlinkFailedPage() {
  // The links libtiff overwrote held 0 (the end of the chain) before the page.
  static const unsigned char kZeros[8] = {};
  for (const Patch& patch : patches_) {
    if (patch.size <= static_cast<std::int64_t>(sizeof kZeros) && file_.Seek(patch.offset)) {
      file_.Write(kZeros, static_cast<std::size_t>(patch.size));
    }
  }
  file_.Truncate(page_start_);
  failed_ = true;
}

bool TiffWriter::Finish() {
  if (tiff_ == nullptr) return false;
  // Every page is complete (AddPage wrote its directory); closing writes
  // nothing more unless a page was left half set up, which cannot happen.
  TIFFCleanup(tiff_);
  tiff_ = nullptr;
  return !failed_ && errors_ == 0;
}

}  // namespace kt::thermography
