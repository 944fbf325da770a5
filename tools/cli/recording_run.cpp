#include "recording_run.h"

#include <array>
#include <chrono>
#include <cstdio>

#include "file_report.h"
#include "kolthermo/kolthermo.h"
#include "options.h"
#include "progress.h"
#include "still_formats.h"

namespace kt::cli {
namespace {

constexpr int kFrameTimeoutMs = 8000;
constexpr uintmax_t kRawFrameBytes = kImagePixels * 2;
constexpr uintmax_t kTemperatureFrameBytes = kImagePixels * 4;
// File timestamps come from a coarser clock than the one read before the
// recording starts; files this much older still count as this recording's.
constexpr auto kTimestampSlack = std::chrono::seconds(1);

long long FramesInFiles(int mode, const std::vector<std::filesystem::path>& files) {
  long long frames = 0;
  for (const auto& file : files) {
    if (mode == KOLTHERMO_RECORD_VIDEO) {
      frames += AviFrameCount(file).value_or(0);
    } else {
      const uintmax_t bytes = FileSize(file).value_or(0);
      frames += static_cast<long long>(
          bytes / (mode == KOLTHERMO_RECORD_RAW ? kRawFrameBytes : kTemperatureFrameBytes));
    }
  }
  return frames;
}

struct RecordingModeInfo {
  std::string_view name;
  int mode;
  std::string_view extension;   // for default file names
  std::string_view extensions;  // every extension it may carry
  bool temperatures;
};

// The first entry is the default.
constexpr std::array kModes{
    RecordingModeInfo{"video", KOLTHERMO_RECORD_VIDEO, ".avi", ".avi", false},
    RecordingModeInfo{"raw", KOLTHERMO_RECORD_RAW, ".raw", ".raw", false},
    RecordingModeInfo{"temperature", KOLTHERMO_RECORD_TEMPERATURE, ".f32", ".f32", true},
    RecordingModeInfo{"celsius-tiff", kRecordCelsiusTiff, ".tiff", ".tif .tiff", true},
};

const RecordingModeInfo& ModeInfo(int mode) {
  for (const RecordingModeInfo& info : kModes) {
    if (info.mode == mode) return info;
  }
  return kModes.front();
}

}  // namespace

std::optional<int> ParseRecordingMode(std::string_view name) {
  for (const RecordingModeInfo& info : kModes) {
    if (info.name == name) return info.mode;
  }
  return std::nullopt;
}

std::string_view RecordingModeName(int mode) { return ModeInfo(mode).name; }

std::string_view RecordingExtension(int mode) { return ModeInfo(mode).extension; }

bool RecordsTemperatures(int mode) { return ModeInfo(mode).temperatures; }

int ChooseRecordingMode(const std::optional<std::string>& mode_name,
                        const std::optional<std::string>& output) {
  const std::string extension = output ? LowerExtension(*output) : "";
  const RecordingModeInfo* implied = nullptr;
  for (const RecordingModeInfo& info : kModes) {
    if (ExtensionListed(info.extensions, extension)) implied = &info;
  }
  if (!mode_name) return implied != nullptr ? implied->mode : KOLTHERMO_RECORD_VIDEO;
  const std::optional<int> mode = ParseRecordingMode(*mode_name);
  if (!mode) {
    throw UsageError("unknown mode '" + *mode_name +
                     "' (expected video, raw, temperature or celsius-tiff)");
  }
  if (implied != nullptr && implied->mode != *mode) {
    throw UsageError("--mode " + *mode_name + " does not match the file name '" + *output + "' (" +
                     extension + " is recorded as " + std::string(implied->name) + "; " +
                     *mode_name + " files end in " + std::string(ModeInfo(*mode).extensions) + ")");
  }
  return *mode;
}

RecordingOutcome RunRecording(CameraSession& session, const RecordingPlan& plan) {
  if (plan.split_mib &&
      KolThermo_SetParam(session.id(), KOLTHERMO_PARAM_SPLIT_SIZE, *plan.split_mib) == 0) {
    throw Failure("cannot set the split size: " + session.NewestCodeText());
  }
  const auto since = std::filesystem::file_time_type::clock::now() - kTimestampSlack;
  // A video file takes its size from the current frame: make sure there is one.
  if (session.RequireFrame(kFrameTimeoutMs) == 0) {
    RecordingOutcome interrupted;
    interrupted.interrupted = true;
    return interrupted;
  }
  session.TakeEvents();

  // The camera library writes its own modes; the tool writes the others
  // frame by frame through plan.on_frame.
  const bool tool_writes = plan.tool_writes;
  if (!tool_writes) session.RequestRecording(plan.path.string(), plan.mode);
  const double total = plan.frames ? static_cast<double>(*plan.frames) : plan.seconds.value_or(1.0);
  Progress progress(plan.label, total, plan.terminal);
  RecordingOutcome outcome;
  auto start = std::chrono::steady_clock::now();
  auto elapsed = [&start] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  std::string failure;
  // The frame on which the capture loop opens the file is announced but not
  // written; counting starts with the frame after it.
  bool file_open = tool_writes;
  for (;;) {
    const FrameWait wait = session.WaitFrame(kFrameTimeoutMs);
    if (wait.result == FrameWait::Result::kStopRequested) {
      outcome.interrupted = true;
      break;
    }
    if (wait.result == FrameWait::Result::kTimeout) {
      failure = "no frame from the camera within " + std::to_string(kFrameTimeoutMs / 1000) + " s";
      break;
    }
    for (const int code : session.TakeEvents()) {
      if (code == KOLTHERMO_CODE_FILE_OR_TABLE_FAILED) {
        failure = "cannot write '" + plan.path.string() + "': " + DescribeEventCode(code);
      } else {
        progress.Note("event " + DescribeEventCode(code));
      }
    }
    if (!failure.empty()) break;
    if (!file_open) {
      file_open = KolThermo_GetParam(session.id(), KOLTHERMO_PARAM_RECORDING) != 0;
      if (file_open) start = std::chrono::steady_clock::now();
      continue;
    }
    if (plan.on_frame) {
      bool taken = false;
      try {
        taken = plan.on_frame(wait.frame_id);
      } catch (const Failure& error) {
        failure = error.what();
        break;
      }
      if (!taken) {
        ++outcome.frames_dropped;
        continue;
      }
    }
    ++outcome.frames_announced;
    const double seconds = elapsed();
    char detail[96];
    if (plan.frames) {
      std::snprintf(detail, sizeof detail, "%d/%d frames  %.1f s", outcome.frames_announced,
                    *plan.frames, seconds);
      progress.Update(outcome.frames_announced, detail);
      if (outcome.frames_announced >= *plan.frames) break;
    } else {
      std::snprintf(detail, sizeof detail, "%.1f/%.1f s  %d frames", seconds, total,
                    outcome.frames_announced);
      progress.Update(seconds, detail);
      if (seconds >= total) break;
    }
  }
  // Stopping acquisition finishes the recording: the AVI index and headers
  // are written and the file closed before KolThermo_Close returns.
  session.Close();
  // Withdraw the request, so a later preview of this instance records nothing.
  if (!tool_writes) KolThermo_RecA(session.id(), plan.path.string().c_str(), KOLTHERMO_RECORD_NONE);
  outcome.seconds = elapsed();
  if (!failure.empty()) {
    progress.Finish("failed");
    throw Failure(failure);
  }
  outcome.files = RecordingFiles(plan.path, since);
  // Frames of the tool's own file are counted as they are added.
  outcome.frames_in_files =
      tool_writes ? outcome.frames_announced : FramesInFiles(plan.mode, outcome.files);
  char detail[96];
  std::snprintf(detail, sizeof detail, "%lld frames in %.1f s%s", outcome.frames_in_files,
                outcome.seconds, outcome.interrupted ? " (interrupted)" : "");
  progress.Finish(detail);
  return outcome;
}

}  // namespace kt::cli
