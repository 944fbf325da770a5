// kolthermo demo: the guided tour on the simulated camera. Writes and loads
// the matching calibration table, previews with a progress bar, saves a
// false-colour PNG, a 16-bit raw TIFF, a float temperature map and a short
// AVI, then prints what it wrote and the temperatures it measured.
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "camera_session.h"
#include "command.h"
#include "file_report.h"
#include "frame_stats.h"
#include "progress.h"
#include "recording_run.h"
#include "still_formats.h"
#include "stop_request.h"
#include "table_writer.h"
#include "terminal.h"

namespace kt::cli {
namespace {

namespace tw = kt::table_writer;

constexpr double kDefaultPreviewSeconds = 3.0;
constexpr double kMaxPreviewSeconds = 600.0;
constexpr int kDefaultVideoFrames = 60;
constexpr int kMaxVideoFrames = 100000;
constexpr int kFrameTimeoutMs = 8000;

// What the simulated camera's default scene shows: a hot mug (90 degrees) on a
// desk at picture columns 280..317, rows 168..225, a cold pack (5 degrees) on
// the wall, and a person walking to and fro in front of a 22-degree wall. The
// mug's inside, two pixels in from its edges, is measured.
constexpr PictureRegion kMugRegion{282, 170, 316, 224};
constexpr double kMugCelsius = 90.0;
constexpr double kColdPackCelsius = 5.0;

struct WrittenFile {
  std::filesystem::path path;
  std::string what;
};

void PrintStep(int step, std::string_view text) {
  std::printf("[%d/5] %.*s\n", step, static_cast<int>(text.size()), text.data());
  std::fflush(stdout);
}

std::filesystem::path WriteTable(const std::filesystem::path& folder) {
  tw::TableRequest request;
  request.layout = tw::Layout::k4000;
  std::string error;
  const std::vector<uint8_t> bytes = tw::EncodeTable(request, &error);
  if (bytes.empty()) throw Failure("cannot make the calibration table: " + error);
  std::filesystem::path path = folder / "calibration-4000.bin";
  if (!tw::WriteTableFile(path, bytes, &error)) throw Failure(error);
  return path;
}

// Previews for `seconds`, showing the live range; returns the last frame ID,
// or 0 on a stop request.
int Preview(CameraSession& session, double seconds, bool terminal) {
  Progress progress("preview", seconds, terminal);
  const auto start = std::chrono::steady_clock::now();
  int frames = 0;
  int last_frame = 0;
  std::vector<float> temperatures;
  char detail[96] = "";
  for (;;) {
    const int frame = session.RequireFrame(kFrameTimeoutMs);
    if (frame == 0) return 0;
    last_frame = frame;
    ++frames;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (session.FetchTemperatures(frame, &temperatures)) {
      if (const auto stats = ComputeFrameStats(temperatures, kImageWidth, kImageHeight)) {
        std::snprintf(detail, sizeof detail, "%.1f s  %d frames  %.1f .. %.1f °C", elapsed, frames,
                      static_cast<double>(stats->min), static_cast<double>(stats->max));
      }
    }
    progress.Update(elapsed, detail);
    if (elapsed >= seconds) break;
  }
  progress.Finish(detail);
  return last_frame;
}

void PrintTemperatures(std::span<const float> temperatures, int frame_id) {
  const auto stats = ComputeFrameStats(temperatures, kImageWidth, kImageHeight);
  const auto mug = RegionMean(temperatures, kImageWidth, kImageHeight, kMugRegion);
  if (!stats || !mug) throw Failure("the frame holds no temperatures: is the table loaded?");
  std::printf("\nScene temperatures (frame ID %u, the last of the preview):\n",
              static_cast<unsigned>(frame_id));
  std::printf("  minimum   %6.1f °C   the cold pack on the wall (simulated at %.0f °C)\n",
              static_cast<double>(stats->min), kColdPackCelsius);
  std::printf("  maximum   %6.1f °C   the hot mug (simulated at %.0f °C)\n",
              static_cast<double>(stats->max), kMugCelsius);
  std::printf("  centre    %6.1f °C   pixel (%d, %d): the wall, or the person passing by\n",
              static_cast<double>(stats->centre), kImageWidth / 2, kImageHeight / 2);
  std::printf("  mug mean  %6.1f °C   columns %d..%d, rows %d..%d\n", static_cast<double>(*mug),
              kMugRegion.left, kMugRegion.right - 1, kMugRegion.top, kMugRegion.bottom - 1);
}

int RunDemo(const ParsedOptions& options) {
  const std::filesystem::path folder = options.Value("--output").value_or("kolthermo-demo");
  if (folder.empty()) throw UsageError("empty --output folder name");
  const double preview_seconds =
      options.Seconds("--seconds", kMaxPreviewSeconds).value_or(kDefaultPreviewSeconds);
  const int video_frames = options.Int("--video-frames", 1, kMaxVideoFrames, kDefaultVideoFrames);
  const bool terminal = IsTerminal(stdout);

  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error || !std::filesystem::is_directory(folder)) {
    throw Failure("cannot create the folder '" + folder.string() + "': " + error.message());
  }
  CameraSession session(CameraSlotOption(options));
  std::printf("KolThermo demo: camera slot %d (%s), output in %s/\n", session.slot(),
              session.CameraName().c_str(), folder.string().c_str());
  std::vector<WrittenFile> written;

  const std::filesystem::path table = WriteTable(folder);
  session.LoadTable(table.string());
  written.push_back({table, "calibration table, layout 4000 (with drift coefficients)"});
  PrintStep(1, "calibration table written and loaded: " + table.string());

  PrintStep(2, "preview (the table's NUC hold drops the first 1.2 s of frames)");
  session.StartPreview();
  const int frame = Preview(session, preview_seconds, terminal);
  if (frame == 0) return kExitInterrupted;
  std::vector<float> temperatures;
  if (!session.FetchTemperatures(frame, &temperatures)) {
    throw Failure("frame " + std::to_string(frame) + " left the ring before it was read");
  }

  PrintStep(3, "stills of the current frame");
  const std::array<std::pair<const char*, const char*>, 3> stills{{
      {"png", "scene.png"},
      {"raw-tiff", "scene-raw.tiff"},
      {"temp-f32", "scene-temperature.f32"},
  }};
  for (const auto& [format_name, file_name] : stills) {
    const StillFormat format = *FindStillFormat(format_name);
    const std::filesystem::path path = folder / file_name;
    session.Save(path.string(), format.number);
    written.push_back({path, std::string(format.what)});
  }

  PrintStep(4, "video");
  RecordingPlan plan;
  plan.mode = KOLTHERMO_RECORD_VIDEO;
  plan.path = folder / "scene.avi";
  plan.frames = video_frames;
  plan.label = "video";
  plan.terminal = terminal;
  const RecordingOutcome video = RunRecording(session, plan);
  for (const auto& file : video.files) {
    written.push_back({file, std::to_string(AviFrameCount(file).value_or(0)) +
                                 " frames of uncompressed false-colour video"});
  }
  if (video.interrupted) return kExitInterrupted;

  PrintStep(5, "done");
  std::printf("\nFiles written:\n");
  for (const WrittenFile& file : written) {
    std::printf("  %-40s %-28s %s\n", file.path.string().c_str(),
                DescribeSize(FileSize(file.path).value_or(0)).c_str(), file.what.c_str());
  }
  PrintTemperatures(temperatures, frame);
  return StopRequested() ? kExitInterrupted : kExitSuccess;
}

constexpr std::array kOptions{
    OptionSpec{"--output", "DIR", "folder for the files (default kolthermo-demo)"},
    OptionSpec{"--seconds", "S", "preview for S seconds (default 3)"},
    OptionSpec{"--video-frames", "N", "frames in the video (default 60, two seconds)"},
    kCameraOption,
};

}  // namespace

const Command& DemoCommand() {
  static const Command command{
      "demo",
      "the guided tour: table, preview, stills, video and measured temperatures",
      "On the simulated camera: writes the matching calibration table (layout 4000)\n"
      "and loads it, previews for a few seconds, saves a false-colour PNG, a 16-bit\n"
      "raw TIFF, a float temperature map and a short AVI into the output folder,\n"
      "then prints the files with their sizes and the measured temperatures of the\n"
      "scene: minimum (the cold pack), maximum (the hot mug), centre, and the mean\n"
      "over the mug.",
      kOptions,
      "  kolthermo demo\n  kolthermo demo --output /tmp/demo --seconds 1 --video-frames 15\n",
      RunDemo};
  return command;
}

}  // namespace kt::cli
