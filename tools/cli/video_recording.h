// A coloured video recording the tool writes itself: each frame's
// temperatures drawn in the chosen palette (with the scale bar when asked)
// and added to an AVI through the thermography library. The file is opened
// with the second frame: the rate written is the camera's, from the time
// between the two frames' fetches (the camera's own measurement lags behind
// right after the preview starts). A recording of one frame takes the
// camera's measured rate.
// Closed by Close or, on every other way out, by the destructor, so the
// frames added so far stay playable.
//
// Threads: used by the tool's main thread only.
#pragma once

#include <optional>
#include <string>

#include "camera_session.h"
#include "kolthermo/kolthermo_radiometric.h"
#include "thermal_frame.h"

namespace kt::cli {

class VideoRecording {
 public:
  // Nothing is created until the first Add.
  VideoRecording(CameraSession& session, const FrameProcessor& processor, std::string path);
  ~VideoRecording();
  VideoRecording(const VideoRecording&) = delete;
  VideoRecording& operator=(const VideoRecording&) = delete;

  // Colours the frame and adds it, creating the file with the second frame;
  // throws Failure.
  void Add(const ThermalFrame& frame);
  // Finishes the file; throws Failure when it cannot be completed.
  void Close();

 private:
  // Creates the file; a rate outside the library's range is replaced by the
  // camera's measured one, or 25. Throws Failure.
  void Open(double frames_per_second, int width);
  void Write(const ColourPicture& picture, int frame_id);

  CameraSession& session_;
  const FrameProcessor& processor_;
  std::string path_;
  KolThermoAviRecording* recording_ = nullptr;
  // The first frame, held until the second tells the rate.
  std::optional<ColourPicture> first_;
  int first_id_ = 0;
  double first_time_s_ = 0.0;
};

}  // namespace kt::cli
