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
#include "thermal_frame.h"
#include "thermography_options.h"

namespace kt::cli {
namespace {

constexpr int kMaxCount = 100000;
// Loading a table starts a NUC hold (1.2 s by default) before frames flow.
constexpr int kFrameTimeoutMs = 8000;

// Thermography options that have nothing to act on are refused rather than
// silently ignored.
void CheckThermographyFits(const StillFormat& format, const ThermographyOptions& thermo) {
  if (thermo.colour && !format.picture) {
    throw UsageError(
        "--palette, --range, --isotherm and --scale-bar draw bmp, png and jpeg "
        "pictures, not " +
        std::string(format.name));
  }
  if (thermo.correct && format.writer == StillWriter::kCore && !thermo.colour &&
      thermo.regions.empty()) {
    throw UsageError(
        "--emissivity corrects what the tool measures and writes itself "
        "(celsius-tiff, celsius-csv, raw16-tiff metadata, --palette pictures, "
        "--spot, --box); the " +
        std::string(format.name) + " format is saved uncorrected by the camera library");
  }
}

void WriteStill(CameraSession& session, FrameProcessor* processor, const ThermalFrame& frame,
                const StillFormat& format, bool drawn_here, const std::string& path) {
  if (drawn_here) {
    processor->WritePicture(frame, path);
    return;
  }
  switch (format.writer) {
    case StillWriter::kCore:
      session.Save(path, format.number);
      return;
    case StillWriter::kCelsiusTiff:
      processor->WriteCelsiusTiff(frame, path);
      return;
    case StillWriter::kRaw16Tiff:
      processor->WriteRaw16Tiff(frame, path);
      return;
    case StillWriter::kCelsiusCsv:
      processor->WriteCelsiusCsv(frame, path);
      return;
  }
}

int RunSnap(const ParsedOptions& options) {
  const std::optional<std::string> output_option = options.Value("--output");
  const StillFormat format = ChooseStillFormat(options.Value("--format"), output_option);
  const int count = options.Int("--count", 1, kMaxCount, 1);
  const std::string output =
      output_option.value_or("kolthermo-snap" + std::string(format.extension));
  if (output.empty()) throw UsageError("empty --output file name");
  const ThermographyOptions thermo = ReadThermographyOptions(options, kImageWidth, kImageHeight);
  CheckThermographyFits(format, thermo);
  const std::optional<std::string> table = options.Value("--table");
  if (!table) {
    if (format.needs_table) RefuseWithoutTable("the " + std::string(format.name) + " format");
    if (thermo.first_temperature_option) RefuseWithoutTable(*thermo.first_temperature_option);
  }
  const bool drawn_here = thermo.colour;
  const bool fetches = drawn_here || format.writer != StillWriter::kCore || !thermo.regions.empty();

  CameraSession session(CameraSlotOption(options));
  if (table) session.LoadTable(*table);
  std::optional<FrameProcessor> processor;
  if (fetches) processor.emplace(session, thermo, table);
  session.StartPreview();
  // The first frame is coloured with the initial colour window (raw codes
  // 1000..3000); the window follows the scene from the next frame on.
  if (session.RequireFrame(kFrameTimeoutMs) == 0) return kExitInterrupted;
  ThermalFrame frame;
  for (int n = 1; n <= count; ++n) {
    // Each still is a frame of its own: wait for the next one to arrive.
    const int frame_id = session.RequireFrame(kFrameTimeoutMs);
    if (frame_id == 0) break;
    if (processor &&
        !processor->Fetch(frame_id, format.writer == StillWriter::kRaw16Tiff, &frame)) {
      throw Failure("frame " + std::to_string(static_cast<unsigned>(frame_id)) +
                    " left the ring before it was read");
    }
    const std::filesystem::path path =
        count == 1 ? std::filesystem::path(output) : NumberedFileName(output, n, count);
    WriteStill(session, processor ? &*processor : nullptr, frame, format, drawn_here,
               path.string());
    std::printf("wrote %s: %s, %s\n", path.string().c_str(), std::string(format.name).c_str(),
                DescribeSize(FileSize(path).value_or(0)).c_str());
    if (processor) {
      for (const std::string& line : processor->Measure(frame)) std::printf("  %s\n", line.c_str());
    }
  }
  if (processor && processor->uncorrected_pixels() > 0) {
    std::fprintf(stderr,
                 "kolthermo snap: %lld pixels lie outside the correction's range and read "
                 "'no temperature'\n",
                 processor->uncorrected_pixels());
  }
  return StopRequested() ? kExitInterrupted : kExitSuccess;
}

constexpr std::array kStillOptions{
    OptionSpec{"--format", "NAME",
               "bmp, jpeg, jpeg70, jpeg20, png, tiff, raw-png, raw-tiff,\n"
               "raw, colour-raw, temp-i8, temp-u8, temp-i32, temp-f32,\n"
               "celsius-tiff, raw16-tiff, celsius-csv (default: as the\n"
               "--output extension says, else bmp)"},
    OptionSpec{"--output", "PATH",
               "file to write (default kolthermo-snap.<ext>); with --count\n"
               "above 1 the files are numbered: snap_01.png, snap_02.png, ..."},
    OptionSpec{"--count", "N", "number of stills, one per frame (default 1)"},
    OptionSpec{"--table", "FILE",
               "calibration table to load first (needed for temperatures:\n"
               "temp-*, celsius-*, palettes, --spot, --box)"},
    kCameraOption,
};
constexpr auto kOptions = JoinOptions(kStillOptions, kThermographyOptions);

}  // namespace

const Command& SnapCommand() {
  static const Command command{
      "snap",
      "save stills: pictures, raw dumps, temperature maps, radiometric files",
      "Starts the preview and saves the next N frames as stills, printing the\n"
      "measurements of each --spot and --box (positions: x right, y down from the\n"
      "top left pixel 0,0).\n\n"
      "The file name's extension chooses the format: .bmp, .png, .jpg/.jpeg, .tif/.tiff\n"
      "(colour TIFF), .raw, .bgr, .i8, .u8, .i32, .f32, .csv (celsius-csv); an\n"
      "unknown extension or none writes bmp. --format chooses among the formats of\n"
      "the same extension (raw-png; raw-tiff, celsius-tiff, raw16-tiff for .tiff) and\n"
      "is refused when the extension belongs to another format.\n\n"
      "Formats: bmp (false colour), colour-raw (BGR pixel dump), jpeg / jpeg70 /\n"
      "jpeg20 (quality 100, 70, 20), png, tiff, raw (16-bit dump), raw-png, raw-tiff\n"
      "(16-bit greyscale), temp-i8, temp-u8, temp-i32, temp-f32 (headerless\n"
      "temperature maps, rows bottom first for temp-f32, top first for the others),\n"
      "celsius-tiff (32-bit float degrees), raw16-tiff (16-bit raw codes), celsius-csv;\n"
      "these three are written top row first with the frame's metadata (frame ID,\n"
      "time, internal temperature, table, emissivity, reflected temperature).\n\n"
      "Temperatures need a calibration table (--table); without one they are refused.\n"
      "--palette, --range, --isotherm and --scale-bar draw bmp, png and jpeg pictures\n"
      "from the temperatures instead of the camera's own colours.",
      kOptions,
      "  kolthermo snap --output scene.png\n"
      "  kolthermo snap --format temp-f32 --table table.bin --output scene.f32\n"
      "  kolthermo snap --count 10 --output burst.bmp\n"
      "  kolthermo snap --table table.bin --format celsius-tiff --emissivity 0.95 "
      "--output mug.tiff\n"
      "  kolthermo snap --table table.bin --palette iron --range histogram --scale-bar "
      "--output iron.png\n"
      "  kolthermo snap --table table.bin --spot 298,196,3 --box 20,20,100,60 --output s.png\n",
      RunSnap};
  return command;
}

}  // namespace kt::cli
