#include "radiometric_recording.h"

#include <new>

#include "radiometric_metadata.h"

namespace kt::thermography {

bool TiffRecording::NeedsBigTiff(int width, int height, int max_frames) {
  // A classic TIFF addresses 4 GiB; the pages' bound already has room for
  // the header and every directory.
  constexpr std::uint64_t kClassicLimit = std::uint64_t{1} << 32;
  return max_frames <= 0 ||
         static_cast<std::uint64_t>(max_frames) * TiffWriter::PageBytesBound(width, height, 4) >=
             kClassicLimit - 16;
}

int TiffRecording::Open(const std::string& path, int width, int height, int max_frames) {
  width_ = width;
  height_ = height;
  max_frames_ = max_frames;
  if (!file_.Create(path)) return KOLTHERMO_THERMO_FILE_ERROR;
  writer_ = std::make_unique<TiffWriter>(file_, NeedsBigTiff(width, height, max_frames));
  if (!writer_->ok()) {
    writer_.reset();
    file_.CloseAndRemove();
    return KOLTHERMO_THERMO_FILE_ERROR;
  }
  return KOLTHERMO_THERMO_OK;
}

int TiffRecording::Add(const float* temperatures_c, const KolThermoFrameInfo* info) {
  if (failed_) return KOLTHERMO_THERMO_FILE_ERROR;
  if (max_frames_ > 0 && frames_ >= max_frames_) return KOLTHERMO_THERMO_OUT_OF_RANGE;
  const TiffPage page{temperatures_c,
                      width_,
                      height_,
                      TiffSamples::kFloat32,
                      DescriptionLines(info, Units::kCelsius),
                      TiffDateTime(info)};
  if (!writer_->AddPage(page)) {
    failed_ = true;
    return KOLTHERMO_THERMO_FILE_ERROR;
  }
  ++frames_;
  return KOLTHERMO_THERMO_OK;
}

int TiffRecording::Close() {
  const bool finished = writer_->Finish();
  writer_.reset();
  if (frames_ == 0) {
    file_.CloseAndRemove();
    return failed_ ? KOLTHERMO_THERMO_FILE_ERROR : KOLTHERMO_THERMO_OK;
  }
  const bool closed = file_.Close();
  return finished && closed && !failed_ ? KOLTHERMO_THERMO_OK : KOLTHERMO_THERMO_FILE_ERROR;
}

}  // namespace kt::thermography
