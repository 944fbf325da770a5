// kolthermo info: the library's version, the camera, every parameter and the
// internal temperature.
#include <array>
#include <cstdio>

#include "camera_session.h"
#include "command.h"
#include "event_codes.h"
#include "kolthermo/kolthermo.h"

namespace kt::cli {
namespace {

constexpr std::array<const char*, 18> kParameterNames{
    "image width (pixels)",
    "image height (pixels)",
    "frame rate (fps x 100)",
    "recording mode (0 none, 1 raw, 2 video, 3 temperature)",
    "previewing",
    "paused",
    "recording file open",
    "frame ring size (slots)",
    "capture loop interval (ms)",
    "NUC hold time (ms)",
    "recording split size (MiB)",
    "auto-range frame count (-1 always)",
    "low colour bound (raw code)",
    "high colour bound (raw code)",
    "NUC on drift",
    "reserved",
    "fetch row order (0 bottom row first)",
    "mirror on save",
};

int RunInfo(const ParsedOptions& options) {
  CameraSession session(CameraSlotOption(options));
  const int version = KolThermo_GetDllVersion();
  std::printf("library version  %d (0x%08X)\n", version, static_cast<unsigned>(version));
  std::printf("camera           slot %d, %s\n", session.slot(), session.CameraName().c_str());
  std::printf("parameters:\n");
  for (size_t i = 0; i < kParameterNames.size(); ++i) {
    const int parameter = static_cast<int>(i) + 1;
    std::printf("  %2d  %-54s %d\n", parameter, kParameterNames[i],
                KolThermo_GetParam(session.id(), parameter));
  }
  session.DiscardCodes();
  if (const std::optional<float> internal = session.InternalTemperature()) {
    std::printf("internal temperature  %.2f °C\n", static_cast<double>(*internal));
    return kExitSuccess;
  }
  throw Failure("cannot read the internal temperature: " + session.NewestCodeText());
}

constexpr std::array kOptions{kCameraOption};

}  // namespace

const Command& InfoCommand() {
  static const Command command{
      "info",
      "show the library version, every parameter and the internal temperature",
      "Opens the camera and prints the library version, the camera's display name,\n"
      "parameters 1 to 18 with their names and values, and the sensor's internal\n"
      "temperature. Nothing is acquired.",
      kOptions,
      "  kolthermo info\n  kolthermo info --camera 1\n",
      RunInfo};
  return command;
}

}  // namespace kt::cli
