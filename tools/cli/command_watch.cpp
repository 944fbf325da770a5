// kolthermo watch: a live status line (frame rate, minimum, maximum and centre
// temperature, internal temperature) and the event codes as they arrive.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "camera_session.h"
#include "command.h"
#include "frame_stats.h"
#include "kolthermo/kolthermo.h"
#include "stop_request.h"
#include "terminal.h"

namespace kt::cli {
namespace {

constexpr double kMaxSeconds = 7 * 24 * 3600.0;
constexpr int kFrameTimeoutMs = 8000;
// A terminal line is redrawn at most this often; logs get one line a second.
constexpr auto kTerminalRefresh = std::chrono::milliseconds(100);
constexpr auto kLogRefresh = std::chrono::seconds(1);
constexpr auto kInternalTemperatureRefresh = std::chrono::seconds(1);

std::string TemperatureFigures(CameraSession& session, int frame_id) {
  char text[128];
  std::vector<float> temperatures;
  if (session.FetchTemperatures(frame_id, &temperatures)) {
    if (const auto stats = ComputeFrameStats(temperatures, kImageWidth, kImageHeight)) {
      std::snprintf(text, sizeof text, "min %6.1f °C  max %6.1f °C  centre %6.1f °C",
                    static_cast<double>(stats->min), static_cast<double>(stats->max),
                    static_cast<double>(stats->centre));
      return text;
    }
  }
  // No table: the raw codes are all there is to show.
  std::vector<uint16_t> raw;
  if (!session.FetchRaw(frame_id, &raw)) return "frame no longer available";
  const auto [low, high] = std::minmax_element(raw.begin(), raw.end());
  const uint16_t centre =
      raw[static_cast<size_t>(kImageHeight - 1 - kImageHeight / 2) * kImageWidth + kImageWidth / 2];
  std::snprintf(text, sizeof text, "raw min %5u  max %5u  centre %5u (no table)", *low, *high,
                centre);
  return text;
}

int RunWatch(const ParsedOptions& options) {
  const std::optional<double> seconds = options.Seconds("--seconds", kMaxSeconds);
  const std::optional<std::string> table = options.Value("--table");
  const bool terminal = IsTerminal(stdout);

  CameraSession session(CameraSlotOption(options));
  if (table) session.LoadTable(*table);
  session.StartPreview();
  if (!table) {
    std::printf(
        "no --table: showing raw codes ('kolthermo table --layout 4000 --output FILE'\n"
        "writes a table for the simulated camera)\n");
  }
  std::printf("watching slot %d (%s)%s\n", session.slot(), session.CameraName().c_str(),
              seconds ? "" : "; Ctrl-C stops");

  const auto start = std::chrono::steady_clock::now();
  auto last_line = start - kLogRefresh;
  auto last_internal = start - kInternalTemperatureRefresh;
  std::string internal_text = "internal --.- °C";
  bool line_open = false;
  int frames = 0;
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (seconds && std::chrono::duration<double>(now - start).count() >= *seconds) break;
    const FrameWait wait = session.WaitFrame(kFrameTimeoutMs);
    if (wait.result == FrameWait::Result::kStopRequested) break;
    for (const int code : session.TakeEvents()) {
      if (line_open) std::printf("\r\033[K");
      std::printf("event %s\n", DescribeEventCode(code).c_str());
      line_open = false;
    }
    if (wait.result == FrameWait::Result::kTimeout) {
      if (line_open) std::printf("\n");
      throw Failure("no frame from the camera within " + std::to_string(kFrameTimeoutMs / 1000) +
                    " s");
    }
    ++frames;
    const auto after = std::chrono::steady_clock::now();
    if (after - last_line < (terminal ? kTerminalRefresh : kLogRefresh)) continue;
    last_line = after;
    if (after - last_internal >= kInternalTemperatureRefresh) {
      last_internal = after;
      char text[48];
      const std::optional<float> internal = session.InternalTemperature();
      if (internal) {
        std::snprintf(text, sizeof text, "internal %.1f °C", static_cast<double>(*internal));
      } else {
        std::snprintf(text, sizeof text, "internal unreadable");
      }
      internal_text = text;
    }
    const double fps = KolThermo_GetParam(session.id(), KOLTHERMO_PARAM_FRAME_RATE) / 100.0;
    const std::string figures = TemperatureFigures(session, wait.frame_id);
    std::printf("%s%5.1f fps  %s  %s%s", terminal ? "\r" : "", fps, figures.c_str(),
                internal_text.c_str(), terminal ? "\033[K" : "\n");
    std::fflush(stdout);
    line_open = terminal;
  }
  if (line_open) std::printf("\n");
  std::printf("%d frames in %.1f s\n", frames,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return StopRequested() ? kExitInterrupted : kExitSuccess;
}

constexpr std::array kOptions{
    OptionSpec{"--seconds", "S", "stop after S seconds (default: run until Ctrl-C)"},
    OptionSpec{"--table", "FILE", "calibration table to load first (temperatures need one)"},
    kCameraOption,
};

}  // namespace

const Command& WatchCommand() {
  static const Command command{
      "watch",
      "show live frame rate, temperatures and event codes",
      "Starts the preview and shows a status line: frames per second, the minimum,\n"
      "maximum and centre temperature of the picture, and the sensor's internal\n"
      "temperature. Event codes are printed as they arrive. Without a table the\n"
      "raw codes are shown instead of temperatures. On a terminal the line is\n"
      "redrawn in place; otherwise one line a second is printed.",
      kOptions,
      "  kolthermo watch --table table.bin\n"
      "  kolthermo watch --seconds 10 > watch.log\n",
      RunWatch};
  return command;
}

}  // namespace kt::cli
