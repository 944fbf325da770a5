// kolthermo record: a video (AVI), raw-code or temperature recording for a
// number of frames or seconds, split into numbered files at a size limit.
#include <array>
#include <cstdio>
#include <string>

#include "camera_session.h"
#include "command.h"
#include "file_report.h"
#include "recording_run.h"
#include "stop_request.h"
#include "terminal.h"

namespace kt::cli {
namespace {

constexpr int kMaxFrames = 100000000;
constexpr double kMaxSeconds = 7 * 24 * 3600.0;
constexpr double kDefaultSeconds = 5.0;
constexpr int kMaxSplitMib = 2000000;

int RunRecord(const ParsedOptions& options) {
  const std::string mode_name = options.Value("--mode").value_or("video");
  const std::optional<int> mode = ParseRecordingMode(mode_name);
  if (!mode) {
    throw UsageError("unknown mode '" + mode_name + "' (expected video, raw or temperature)");
  }
  if (options.Has("--seconds") && options.Has("--frames")) {
    throw UsageError("give --seconds or --frames, not both");
  }
  RecordingPlan plan;
  plan.mode = *mode;
  if (options.Has("--frames")) plan.frames = options.Int("--frames", 1, kMaxFrames, 1);
  plan.seconds = options.Seconds("--seconds", kMaxSeconds);
  if (!plan.frames && !plan.seconds) plan.seconds = kDefaultSeconds;
  if (options.Has("--split-mb")) plan.split_mib = options.Int("--split-mb", 0, kMaxSplitMib, 0);
  plan.path = options.Value("--output")
                  .value_or("kolthermo-record" + std::string(RecordingExtension(*mode)));
  if (plan.path.empty()) throw UsageError("empty --output file name");
  const std::optional<std::string> table = options.Value("--table");
  if (*mode == KOLTHERMO_RECORD_TEMPERATURE && !table) {
    std::fprintf(stderr,
                 "kolthermo record: no --table: every temperature recorded marks "
                 "'no temperature'\n");
  }
  plan.label = "recording " + std::string(RecordingModeName(*mode));
  plan.terminal = IsTerminal(stdout);

  CameraSession session(CameraSlotOption(options));
  if (table) session.LoadTable(*table);
  session.StartPreview();
  const RecordingOutcome outcome = RunRecording(session, plan);
  for (const auto& file : outcome.files) {
    std::printf("wrote %s: %s\n", file.string().c_str(),
                DescribeSize(FileSize(file).value_or(0)).c_str());
  }
  std::printf("%lld frames in %zu file%s, %.1f s\n", outcome.frames_in_files, outcome.files.size(),
              outcome.files.size() == 1 ? "" : "s", outcome.seconds);
  return outcome.interrupted || StopRequested() ? kExitInterrupted : kExitSuccess;
}

constexpr std::array kOptions{
    OptionSpec{"--mode", "MODE",
               "video (AVI of the false-colour picture, default), raw\n"
               "(16-bit codes, 221184 bytes a frame) or temperature\n"
               "(32-bit floats in degrees, 442368 bytes a frame)"},
    OptionSpec{"--output", "PATH", "file to write (default kolthermo-record.avi/.raw/.f32)"},
    OptionSpec{"--seconds", "S", "record for S seconds (default 5)"},
    OptionSpec{"--frames", "N", "record N frames instead"},
    OptionSpec{"--split-mb", "MIB",
               "start a numbered file (name_1.avi, ...) when a video file\n"
               "reaches MIB mebibytes (default 2000); 0 splits raw and\n"
               "temperature recordings after every frame"},
    OptionSpec{"--table", "FILE", "calibration table to load first (for --mode temperature)"},
    kCameraOption,
};

}  // namespace

const Command& RecordCommand() {
  static const Command command{
      "record",
      "record video (AVI), raw codes or temperatures",
      "Starts the preview and records for --seconds or --frames. A progress bar is\n"
      "drawn on a terminal, plain progress lines otherwise. Ctrl-C ends the\n"
      "recording cleanly: the file is finished and closed, exit status 130.",
      kOptions,
      "  kolthermo record --seconds 10 --output walk.avi\n"
      "  kolthermo record --mode raw --frames 100 --output codes.raw\n"
      "  kolthermo record --mode temperature --table table.bin --seconds 2\n",
      RunRecord};
  return command;
}

}  // namespace kt::cli
