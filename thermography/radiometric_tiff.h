// TIFF pages of one-sample pixels (float degrees or 16-bit codes) written
// with libtiff into an OutputFile. A page is only linked into the file's
// chain of pages once libtiff has written it; when any part of a page fails
// the writer unlinks it again and cuts the file back, so every page written
// before stays readable, and writes nothing more.
#ifndef KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_TIFF_H_
#define KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_TIFF_H_

#include <cstdint>
#include <string>
#include <vector>

#include "radiometric_output_file.h"

typedef struct tiff TIFF;

namespace kt::thermography {

enum class TiffSamples { kFloat32, kUint16 };

struct TiffPage {
  const void* pixels;  // width * height samples, top row first
  int width;
  int height;
  TiffSamples samples;
  std::string description;  // ImageDescription
  std::string date_time;    // DateTime, omitted when empty
};

class TiffWriter {
 public:
  // Starts a TIFF in `file` (open and empty; it must outlive the writer):
  // BigTIFF when `big`, classic otherwise.
  TiffWriter(OutputFile& file, bool big);
  ~TiffWriter();
  TiffWriter(const TiffWriter&) = delete;
  TiffWriter& operator=(const TiffWriter&) = delete;

  // False if the header could not be written.
  bool ok() const { return tiff_ != nullptr && !failed_; }
  // Appends one page. False when it failed: the file then ends with the pages
  // written before, and the writer refuses every further page.
  bool AddPage(const TiffPage& page);
  // Ends the TIFF; false when the writer had failed or libtiff's last writes
  // failed. The file stays open (its owner closes it).
  bool Finish();

  // The size of one page of `width` x `height` samples of `bytes_per_sample`
  // with its directory and metadata, rounded up generously: for choosing
  // between classic TIFF and BigTIFF.
  static std::uint64_t PageBytesBound(int width, int height, int bytes_per_sample);

  // libtiff's client procedures reach the writer through these.
  std::int64_t ReadAt(void* data, std::int64_t size);
  std::int64_t WriteAt(const void* data, std::int64_t size);
  std::uint64_t SeekTo(std::uint64_t offset, int whence);
  std::uint64_t FileSize() const { return file_.size(); }
  void CountError() { ++errors_; }

 private:
  void UnlinkFailedPage();

  OutputFile& file_;
  TIFF* tiff_ = nullptr;
  bool failed_ = false;
  int errors_ = 0;
  // The file's size when the page being added began, and the places before
  // it that libtiff overwrote while adding it (the previous page's link to
  // the next, or the header's link to the first page; both 0 before).
  std::uint64_t page_start_ = 0;
  struct Patch {
    std::uint64_t offset;
    std::int64_t size;
  };
  std::vector<Patch> patches_;
};

}  // namespace kt::thermography

#endif  // KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_TIFF_H_
