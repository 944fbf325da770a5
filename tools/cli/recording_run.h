// A recording from start to finish on a previewing session: the request, the
// frames counted as they are announced, progress, and the end of the
// recording through KolThermo_Close so that the file is complete whatever
// stopped it (count reached, time up, Ctrl-C).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera_session.h"

namespace kt::cli {

struct RecordingPlan {
  int mode = KOLTHERMO_RECORD_VIDEO;
  std::filesystem::path path;
  std::optional<int> frames;      // stop after this many frames...
  std::optional<double> seconds;  // ...or after this long
  std::optional<int> split_mib;   // KOLTHERMO_PARAM_SPLIT_SIZE when given
  std::string label = "recording";
  bool terminal = false;  // progress bar or plain lines
};

struct RecordingOutcome {
  bool interrupted = false;
  int frames_announced = 0;  // frames announced while recording was requested
  double seconds = 0.0;
  std::vector<std::filesystem::path> files;  // the file and its split successors
  long long frames_in_files = 0;             // counted from the files themselves
};

// "video", "raw" or "temperature"; nothing for another name.
std::optional<int> ParseRecordingMode(std::string_view name);
std::string_view RecordingModeName(int mode);
std::string_view RecordingExtension(int mode);

// Runs the recording on `session`, which must be previewing. Throws Failure
// when the library refuses the request or cannot open the file.
RecordingOutcome RunRecording(CameraSession& session, const RecordingPlan& plan);

}  // namespace kt::cli
