#include "video_recording.h"

#include <utility>

#include "options.h"

namespace kt::cli {
namespace {

// The rate written when neither the frames nor the camera tell one.
constexpr double kFallbackFramesPerSecond = 25.0;
// The rates the thermography library accepts.
constexpr double kMinFramesPerSecond = 0.01;
constexpr double kMaxFramesPerSecond = 1000.0;

bool UsableRate(double frames_per_second) {
  return frames_per_second >= kMinFramesPerSecond && frames_per_second <= kMaxFramesPerSecond;
}

}  // namespace

VideoRecording::VideoRecording(CameraSession& session, const FrameProcessor& processor,
                               std::string path)
    : session_(session), processor_(processor), path_(std::move(path)) {}

VideoRecording::~VideoRecording() {
  if (recording_ != nullptr) KolThermoAviRecordingClose(recording_);
}

void VideoRecording::Open(double frames_per_second, int width) {
  if (!UsableRate(frames_per_second)) {
    frames_per_second = KolThermo_GetParam(session_.id(), KOLTHERMO_PARAM_FRAME_RATE) / 100.0;
  }
  if (!UsableRate(frames_per_second)) frames_per_second = kFallbackFramesPerSecond;
  const int opened =
      KolThermoAviRecordingOpen(path_.c_str(), width, kImageHeight, frames_per_second, &recording_);
  if (opened != KOLTHERMO_THERMO_OK) {
    recording_ = nullptr;
    throw Failure("cannot write '" + path_ + "': " + DescribeThermographyCode(opened));
  }
}

void VideoRecording::Write(const ColourPicture& picture, int frame_id) {
  const int result = KolThermoAviRecordingAdd(recording_, picture.rgb.data());
  if (result != KOLTHERMO_THERMO_OK) {
    throw Failure("cannot add frame " + std::to_string(static_cast<unsigned>(frame_id)) + " to '" +
                  path_ + "': " + DescribeThermographyCode(result));
  }
}

void VideoRecording::Add(const ThermalFrame& frame) {
  ColourPicture picture = processor_.Colour(frame);
  if (recording_ == nullptr && !first_) {
    first_ = std::move(picture);
    first_id_ = frame.frame_id;
    first_time_s_ = frame.info.time_s;
    return;
  }
  if (recording_ == nullptr) {
    // The tool fetches each frame as the camera announces it, so the time
    // between two fetches is the camera's frame period.
    const double seconds = frame.info.time_s - first_time_s_;
    Open(seconds > 0.0 ? 1.0 / seconds : 0.0, first_->width);
    Write(*first_, first_id_);
    first_.reset();
  }
  Write(picture, frame.frame_id);
}

void VideoRecording::Close() {
  if (first_) {
    Open(0.0, first_->width);
    Write(*first_, first_id_);
    first_.reset();
  }
  if (recording_ == nullptr) return;
  const int result = KolThermoAviRecordingClose(recording_);
  recording_ = nullptr;
  if (result != KOLTHERMO_THERMO_OK) {
    throw Failure("cannot finish '" + path_ + "': " + DescribeThermographyCode(result));
  }
}

}  // namespace kt::cli
