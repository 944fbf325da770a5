// A radiometric recording the tool writes itself: a multi-page float TIFF
// through the thermography library, one page per frame with its metadata.
// Closed by Close or, on every other way out, by the destructor, so the
// pages added so far stay readable.
//
// Threads: used by the tool's main thread only.
#pragma once

#include <string>

#include "kolthermo/kolthermo_radiometric.h"
#include "thermal_frame.h"

namespace kt::cli {

class TiffRecording {
 public:
  // Creates `path`. `max_frames` is the most frames to come, 0 when unknown
  // (a recording by time): a classic TIFF when they fit, BigTIFF otherwise.
  // Throws Failure.
  TiffRecording(const std::string& path, int max_frames);
  ~TiffRecording();
  TiffRecording(const TiffRecording&) = delete;
  TiffRecording& operator=(const TiffRecording&) = delete;

  // Adds the frame as a page; throws Failure.
  void Add(const ThermalFrame& frame);
  // Finishes the file; throws Failure when it cannot be completed.
  void Close();

 private:
  std::string path_;
  KolThermoTiffRecording* recording_ = nullptr;
};

}  // namespace kt::cli
