// kolthermo info: the library's version, the camera, every parameter and the
// internal temperature.
#include <array>
#include <cstdio>

#include "camera_session.h"
#include "command.h"
#include "kolthermo/kolthermo.h"

namespace kt::cli {
namespace {

struct InfoParameter {
  int id;
  const char* label;
};

// The instance's settings, in id order.
constexpr std::array kParameters{
    InfoParameter{KOLTHERMO_PARAM_WIDTH, "image width (pixels)"},
    InfoParameter{KOLTHERMO_PARAM_HEIGHT, "image height (pixels)"},
    InfoParameter{KOLTHERMO_PARAM_FRAME_RATE, "frame rate (fps x 100)"},
    InfoParameter{KOLTHERMO_PARAM_RECORDING_MODE,
                  "recording mode (0 none, 1 raw, 2 video, 3 temperature)"},
    InfoParameter{KOLTHERMO_PARAM_PREVIEWING, "previewing"},
    InfoParameter{KOLTHERMO_PARAM_PAUSED, "paused"},
    InfoParameter{KOLTHERMO_PARAM_RECORDING, "recording file open"},
    InfoParameter{KOLTHERMO_PARAM_RING_SIZE, "frame ring size (slots)"},
    InfoParameter{KOLTHERMO_PARAM_LOOP_INTERVAL, "capture loop interval (ms)"},
    InfoParameter{KOLTHERMO_PARAM_NUC_HOLD, "NUC hold time (ms)"},
    InfoParameter{KOLTHERMO_PARAM_SPLIT_SIZE, "recording split size (MiB)"},
    InfoParameter{KOLTHERMO_PARAM_AUTO_RANGE_FRAMES, "auto-range frame count (-1 always)"},
    InfoParameter{KOLTHERMO_PARAM_COLOR_LOW, "low colour bound (raw code)"},
    InfoParameter{KOLTHERMO_PARAM_COLOR_HIGH, "high colour bound (raw code)"},
    InfoParameter{KOLTHERMO_PARAM_NUC_ON_DRIFT, "NUC on drift"},
    InfoParameter{KOLTHERMO_PARAM_RESERVED, "reserved"},
    InfoParameter{KOLTHERMO_PARAM_FETCH_FLIPPED, "fetch row order (0 bottom row first)"},
    InfoParameter{KOLTHERMO_PARAM_MIRROR_ON_SAVE, "mirror on save"},
};

int RunInfo(const ParsedOptions& options) {
  CameraSession session(CameraSlotOption(options));
  const int version = KolThermo_GetDllVersion();
  std::printf("library version  %d (0x%08X)\n", version, static_cast<unsigned>(version));
  std::printf("camera           slot %d, %s\n", session.slot(), session.CameraName().c_str());
  std::printf("parameters:\n");
  for (const InfoParameter& parameter : kParameters) {
    std::printf("  %2d  %-54s %d\n", parameter.id, parameter.label,
                KolThermo_GetParam(session.id(), parameter.id));
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
