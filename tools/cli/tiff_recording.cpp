#include "tiff_recording.h"

#include "camera_session.h"
#include "options.h"

namespace kt::cli {

TiffRecording::TiffRecording(const std::string& path, int max_frames) : path_(path) {
  const int result = KolThermoTiffRecordingOpenLimited(path.c_str(), kImageWidth, kImageHeight,
                                                       max_frames, &recording_);
  if (result != KOLTHERMO_THERMO_OK) {
    recording_ = nullptr;
    throw Failure("cannot write '" + path + "': " + DescribeThermographyCode(result));
  }
}

TiffRecording::~TiffRecording() {
  if (recording_ != nullptr) KolThermoTiffRecordingClose(recording_);
}

void TiffRecording::Add(const ThermalFrame& frame) {
  const int result = KolThermoTiffRecordingAdd(recording_, frame.celsius.data(), &frame.info);
  if (result != KOLTHERMO_THERMO_OK) {
    throw Failure("cannot add frame " + std::to_string(static_cast<unsigned>(frame.frame_id)) +
                  " to '" + path_ + "': " + DescribeThermographyCode(result));
  }
}

void TiffRecording::Close() {
  if (recording_ == nullptr) return;
  const int result = KolThermoTiffRecordingClose(recording_);
  recording_ = nullptr;
  if (result != KOLTHERMO_THERMO_OK) {
    throw Failure("cannot finish '" + path_ + "': " + DescribeThermographyCode(result));
  }
}

}  // namespace kt::cli
