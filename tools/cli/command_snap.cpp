// kolthermo snap: one or more stills of the live picture, in any format the
// library saves.
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "camera_session.h"
#include "command.h"
#include "file_report.h"
#include "still_formats.h"
#include "stop_request.h"

namespace kt::cli {
namespace {

constexpr int kMaxCount = 100000;
// Loading a table starts a NUC hold (1.2 s by default) before frames flow.
constexpr int kFrameTimeoutMs = 8000;

int RunSnap(const ParsedOptions& options) {
  const std::string format_name = options.Value("--format").value_or("bmp");
  const std::optional<StillFormat> format = FindStillFormat(format_name);
  if (!format) {
    throw UsageError("unknown format '" + format_name + "' (expected " +
                     std::string(StillFormatNames()) + ")");
  }
  const int count = options.Int("--count", 1, kMaxCount, 1);
  const std::string output =
      options.Value("--output").value_or("kolthermo-snap" + std::string(format->extension));
  if (output.empty()) throw UsageError("empty --output file name");
  const std::optional<std::string> table = options.Value("--table");
  if (format->needs_table && !table) {
    std::fprintf(stderr,
                 "kolthermo snap: no --table: every sample of the temperature map marks "
                 "'no temperature'\n");
  }

  CameraSession session(CameraSlotOption(options));
  if (table) session.LoadTable(*table);
  session.StartPreview();
  // The first frame is coloured with the initial colour window (raw codes
  // 1000..3000); the window follows the scene from the next frame on.
  if (session.RequireFrame(kFrameTimeoutMs) == 0) return kExitInterrupted;
  for (int n = 1; n <= count; ++n) {
    // Each still is a frame of its own: wait for the next one to arrive.
    if (session.RequireFrame(kFrameTimeoutMs) == 0) break;
    const std::filesystem::path path =
        count == 1 ? std::filesystem::path(output) : NumberedFileName(output, n, count);
    session.Save(path.string(), format->number);
    std::printf("wrote %s: %s, %s\n", path.string().c_str(), std::string(format->name).c_str(),
                DescribeSize(FileSize(path).value_or(0)).c_str());
  }
  return StopRequested() ? kExitInterrupted : kExitSuccess;
}

constexpr std::array kOptions{
    OptionSpec{"--format", "NAME",
               "bmp (default), jpeg, jpeg70, jpeg20, png, tiff, raw-png,\n"
               "raw-tiff, raw, colour-raw, temp-i8, temp-u8, temp-i32, temp-f32"},
    OptionSpec{"--output", "PATH",
               "file to write (default kolthermo-snap.<ext>); with --count\n"
               "above 1 the files are numbered: snap_01.png, snap_02.png, ..."},
    OptionSpec{"--count", "N", "number of stills, one per frame (default 1)"},
    OptionSpec{"--table", "FILE", "calibration table to load first (needed by temp-* formats)"},
    kCameraOption,
};

}  // namespace

const Command& SnapCommand() {
  static const Command command{
      "snap",
      "save stills (BMP, JPEG, PNG, TIFF, raw dumps, temperature maps)",
      "Starts the preview and saves the next N frames as stills. The format name\n"
      "alone chooses the format; the file name's extension plays no part.\n"
      "Formats: bmp (false colour), colour-raw (BGR pixel dump), jpeg / jpeg70 /\n"
      "jpeg20 (quality 100, 70, 20), png, tiff, raw (16-bit dump), raw-png, raw-tiff\n"
      "(16-bit greyscale), temp-i8, temp-u8, temp-i32, temp-f32 (headerless\n"
      "temperature maps, rows bottom first for temp-f32, top first for the others).",
      kOptions,
      "  kolthermo snap --format png --output scene.png\n"
      "  kolthermo snap --format temp-f32 --table table.bin --output scene.f32\n"
      "  kolthermo snap --count 10 --output burst.bmp\n",
      RunSnap};
  return command;
}

}  // namespace kt::cli
