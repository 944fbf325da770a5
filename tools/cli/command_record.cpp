// kolthermo record: a video (AVI), raw-code or temperature recording for a
// number of frames or seconds, split into numbered files at a size limit.
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "camera_session.h"
#include "command.h"
#include "file_report.h"
#include "recording_run.h"
#include "stop_request.h"
#include "terminal.h"
#include "thermal_frame.h"
#include "thermography_options.h"
#include "tiff_recording.h"
#include "video_recording.h"

namespace kt::cli {
namespace {

constexpr int kMaxFrames = 100000000;
constexpr double kMaxSeconds = 7 * 24 * 3600.0;
constexpr double kDefaultSeconds = 5.0;
constexpr int kMaxSplitMib = 2000000;

int RunRecord(const ParsedOptions& options) {
  const std::optional<std::string> output = options.Value("--output");
  const int mode = ChooseRecordingMode(options.Value("--mode"), output);
  if (options.Has("--seconds") && options.Has("--frames")) {
    throw UsageError("give --seconds or --frames, not both");
  }
  RecordingPlan plan;
  plan.mode = mode;
  if (options.Has("--frames")) plan.frames = options.Int("--frames", 1, kMaxFrames, 1);
  plan.seconds = options.Seconds("--seconds", kMaxSeconds);
  if (!plan.frames && !plan.seconds) plan.seconds = kDefaultSeconds;
  if (options.Has("--split-mb")) {
    if (mode == kRecordCelsiusTiff) {
      throw UsageError("--split-mb does not apply to celsius-tiff: past 4 GiB it is a BigTIFF");
    }
    plan.split_mib = options.Int("--split-mb", 0, kMaxSplitMib, 0);
  }
  plan.path = output.value_or("kolthermo-record" + std::string(RecordingExtension(mode)));
  if (plan.path.empty()) throw UsageError("empty --output file name");
  const ThermographyOptions thermo = ReadThermographyOptions(options, kImageWidth, kImageHeight);
  // The palette options make the tool draw and write the video itself.
  const bool coloured_video = thermo.colour;
  if (coloured_video && mode != KOLTHERMO_RECORD_VIDEO) {
    throw UsageError(
        "--palette, --range, --isotherm and --scale-bar draw video recordings "
        "(--mode video, .avi), not " +
        std::string(RecordingModeName(mode)));
  }
  if (coloured_video && plan.split_mib) {
    throw UsageError("--split-mb does not apply to a video drawn with --palette: it is one file");
  }
  plan.tool_writes = mode == kRecordCelsiusTiff || coloured_video;
  if (thermo.correct && !plan.tool_writes && thermo.regions.empty()) {
    throw UsageError(
        "--emissivity corrects what the tool measures and writes itself "
        "(--mode celsius-tiff, --spot, --box); the " +
        std::string(RecordingModeName(mode)) +
        " mode is recorded uncorrected by the camera library");
  }
  const std::optional<std::string> table = options.Value("--table");
  if (!table) {
    if (RecordsTemperatures(mode)) {
      RefuseWithoutTable("--mode " + std::string(RecordingModeName(mode)));
    }
    if (thermo.first_temperature_option) RefuseWithoutTable(*thermo.first_temperature_option);
  }
  plan.label = "recording " + std::string(RecordingModeName(mode));
  plan.terminal = IsTerminal(stdout);

  CameraSession session(CameraSlotOption(options));
  if (table) session.LoadTable(*table);
  std::optional<FrameProcessor> processor;
  std::optional<TiffRecording> tiff;
  std::optional<VideoRecording> video;
  ThermalFrame frame;
  std::vector<std::string> measurements;
  if (plan.tool_writes || !thermo.regions.empty()) {
    processor.emplace(session, thermo, table);
    plan.on_frame = [&](int frame_id) {
      if (!processor->Fetch(frame_id, false, &frame)) return false;
      if (tiff) tiff->Add(frame);
      if (video) video->Add(frame);
      if (!thermo.regions.empty()) measurements = processor->Measure(frame);
      return true;
    };
  }
  session.StartPreview();
  if (mode == kRecordCelsiusTiff) tiff.emplace(plan.path.string(), plan.frames.value_or(0));
  if (coloured_video) video.emplace(session, *processor, plan.path.string());
  RecordingOutcome outcome = RunRecording(session, plan);
  if (tiff) tiff->Close();
  if (video) {
    video->Close();
    // A one-frame video is created only now, after the recording's files
    // were listed.
    if (outcome.files.empty() && outcome.frames_in_files > 0) outcome.files.push_back(plan.path);
  }
  for (const auto& file : outcome.files) {
    std::printf("wrote %s: %s\n", file.string().c_str(),
                DescribeSize(FileSize(file).value_or(0)).c_str());
  }
  std::printf("%lld frames in %zu file%s, %.1f s\n", outcome.frames_in_files, outcome.files.size(),
              outcome.files.size() == 1 ? "" : "s", outcome.seconds);
  if (outcome.frames_dropped > 0) {
    std::fprintf(stderr,
                 "kolthermo record: %d frames left the camera's ring before the tool read "
                 "them and are missing from the recording\n",
                 outcome.frames_dropped);
  }
  if (!measurements.empty()) {
    std::printf("measurements of the last frame recorded (ID %u):\n",
                static_cast<unsigned>(frame.frame_id));
    for (const std::string& line : measurements) std::printf("  %s\n", line.c_str());
  }
  if (processor && processor->uncorrected_pixels() > 0) {
    std::fprintf(stderr,
                 "kolthermo record: %lld pixels lie outside the correction's range and read "
                 "'no temperature'\n",
                 processor->uncorrected_pixels());
  }
  return outcome.interrupted || StopRequested() ? kExitInterrupted : kExitSuccess;
}

constexpr std::array kRecordOptions{
    OptionSpec{"--mode", "MODE",
               "video (AVI of the false-colour picture), raw (16-bit\n"
               "codes, 221184 bytes a frame), temperature (32-bit floats\n"
               "in degrees, 442368 bytes a frame) or celsius-tiff (one\n"
               "float TIFF page per frame with its metadata); default:\n"
               "as the --output extension says (.avi .raw .f32 .tif .tiff),\n"
               "else video"},
    OptionSpec{"--output", "PATH", "file to write (default kolthermo-record.avi/.raw/.f32/.tiff)"},
    OptionSpec{"--seconds", "S", "record for S seconds (default 5)"},
    OptionSpec{"--frames", "N", "record N frames instead"},
    OptionSpec{"--split-mb", "MIB",
               "start a numbered file (name_1.avi, ...) when a video file\n"
               "reaches MIB mebibytes (default 2000); 0 splits raw and\n"
               "temperature recordings after every frame"},
    OptionSpec{"--table", "FILE",
               "calibration table to load first (needed by the temperature\n"
               "and celsius-tiff modes, the palette options, --spot and --box)"},
    kCameraOption,
};
constexpr auto kOptions = JoinOptions(kRecordOptions, kThermographyOptions);

}  // namespace

const Command& RecordCommand() {
  static const Command command{
      "record",
      "record video (AVI), raw codes, temperatures or a radiometric TIFF",
      "Starts the preview and records for --seconds or --frames. A progress bar is\n"
      "drawn on a terminal, plain progress lines otherwise. Ctrl-C ends the\n"
      "recording cleanly: the file is finished and closed, exit status 130.\n"
      "The mode follows the file name's extension; a --mode that contradicts it is\n"
      "refused. Temperatures need a calibration table (--table). celsius-tiff pages\n"
      "are corrected with --emissivity and --reflected; --spot and --box print the\n"
      "measurements of the last frame recorded. With --palette, --range, --isotherm\n"
      "or --scale-bar the video is drawn by the tool from the (corrected)\n"
      "temperatures at the camera's frame rate, in one file; without them the\n"
      "camera library records it in its own colours.",
      kOptions,
      "  kolthermo record --seconds 10 --output walk.avi\n"
      "  kolthermo record --frames 100 --output codes.raw\n"
      "  kolthermo record --mode temperature --table table.bin --seconds 2\n"
      "  kolthermo record --table table.bin --emissivity 0.95 --frames 60 --output mug.tiff\n"
      "  kolthermo record --table table.bin --palette iron --scale-bar --output mug.avi\n",
      RunRecord};
  return command;
}

}  // namespace kt::cli
