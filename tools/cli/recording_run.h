// A recording from start to finish on a previewing session: the request, the
// frames counted as they are announced, progress, and the end of the
// recording through KolThermo_Close so that the file is complete whatever
// stopped it (count reached, time up, Ctrl-C).
#pragma once

#include <filesystem>
#include <functional>
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
  // The tool writes the file itself through on_frame (celsius-tiff, coloured
  // video); otherwise the camera library records it.
  bool tool_writes = false;
  // Called with the ID of every frame that counts; writes the frame when the
  // tool writes the file, measures it otherwise. False when the frame had left
  // the ring (the tool fell behind): it is skipped and counted as dropped.
  // May throw Failure, which ends the recording as a failure.
  std::function<bool(int frame_id)> on_frame;
};

struct RecordingOutcome {
  bool interrupted = false;
  int frames_announced = 0;  // frames announced while recording was requested
  int frames_dropped = 0;    // frames on_frame skipped
  double seconds = 0.0;
  std::vector<std::filesystem::path> files;  // the file and its split successors
  long long frames_in_files = 0;             // counted from the files themselves
};

// A radiometric recording that the tool writes itself (a multi-page float
// TIFF through the thermography library), beside the KOLTHERMO_RECORD_* modes
// the camera library writes.
inline constexpr int kRecordCelsiusTiff = 100;

// "video", "raw", "temperature" or "celsius-tiff"; nothing for another name.
std::optional<int> ParseRecordingMode(std::string_view name);
std::string_view RecordingModeName(int mode);
std::string_view RecordingExtension(int mode);
// Whether the mode records temperatures (and so needs a table).
bool RecordsTemperatures(int mode);

// The mode of a recording: --mode when given (refused when the file name's
// extension belongs to another mode), otherwise the mode the extension
// implies (.avi, .raw, .f32, .tif/.tiff), otherwise video. Throws UsageError.
int ChooseRecordingMode(const std::optional<std::string>& mode_name,
                        const std::optional<std::string>& output);

// Runs the recording on `session`, which must be previewing. Throws Failure
// when the library refuses the request or cannot open the file.
RecordingOutcome RunRecording(CameraSession& session, const RecordingPlan& plan);

}  // namespace kt::cli
