#include "thermal_frame.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include "kolthermo/kolthermo.h"
#include "kolthermo/kolthermo_measure.h"
#include "kolthermo/kolthermo_palette.h"
#include "replacement_file.h"
#include "still_formats.h"

namespace kt::cli {
namespace {

// Writes `target` through a new file beside it that `write` fills, renamed
// over the target once complete: a failed write leaves a previous file as it
// was, as the tool's other stills do. The new file's name ends in the
// target's extension, since the picture writer chooses its format by it.
void WriteReplacing(const std::string& target,
                    const std::function<int(const std::string& path)>& write) {
  tools::ReplacementFile file;
  std::string error;
  if (!file.Create(target, &error)) throw Failure(error);
  const std::filesystem::path staged = file.temporary_path().string() + LowerExtension(target);
  const int result = write(staged.string());
  std::error_code ignored;
  if (result != KOLTHERMO_THERMO_OK) {
    std::filesystem::remove(staged, ignored);
    throw Failure("cannot write '" + target + "': " + DescribeThermographyCode(result));
  }
  // Commit syncs the file it created, which the rename replaces: sync the
  // written one here instead.
  const int descriptor = ::open(staged.c_str(), O_RDONLY | O_CLOEXEC);
  const bool synced = descriptor >= 0 && ::fsync(descriptor) == 0;
  if (descriptor >= 0) ::close(descriptor);
  std::error_code code;
  if (!synced) {
    std::filesystem::remove(staged, ignored);
    throw Failure("cannot write '" + target + "': the written file cannot be synced to disk");
  }
  std::filesystem::rename(staged, file.temporary_path(), code);
  if (code) {
    std::filesystem::remove(staged, ignored);
    throw Failure("cannot write '" + target + "': " + code.message());
  }
  if (!file.Commit(&error)) throw Failure(error);
}

double NowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string DescribeThermographyCode(int code) {
  const char* name = "unknown result";
  switch (code) {
    case KOLTHERMO_THERMO_INVALID_ARGUMENT:
      name = "invalid argument";
      break;
    case KOLTHERMO_THERMO_OUT_OF_RANGE:
      name = "out of range";
      break;
    case KOLTHERMO_THERMO_OUTSIDE_FRAME:
      name = "outside the frame";
      break;
    case KOLTHERMO_THERMO_EMPTY_REGION:
      name = "no temperature in the region";
      break;
    case KOLTHERMO_THERMO_FONT_UNAVAILABLE:
      name = "font unavailable";
      break;
    case KOLTHERMO_THERMO_FILE_ERROR:
      name = "file error";
      break;
    default:
      break;
  }
  return "code " + std::to_string(code) + " (" + name + ")";
}

FrameProcessor::FrameProcessor(CameraSession& session, const ThermographyOptions& options,
                               const std::optional<std::string>& table)
    : session_(session), options_(options), has_table_(table.has_value()) {
  if (table) table_name_ = std::filesystem::path(*table).filename().string();
  if (KolThermo_SetParam(session_.id(), KOLTHERMO_PARAM_FETCH_FLIPPED, 1) == 0) {
    throw Failure("cannot fetch frames top row first: " + session_.NewestCodeText());
  }
}

bool FrameProcessor::Fetch(int frame_id, bool with_raw, ThermalFrame* frame) {
  if (has_table_) {
    if (!session_.FetchTemperatures(frame_id, &frame->celsius)) return false;
    if (options_.correct) {
      int failed = 0;
      const int result = KolThermoObjectTemperatures(frame->celsius.data(), frame->celsius.data(),
                                                     static_cast<int>(frame->celsius.size()),
                                                     &options_.object, &failed);
      if (result == KOLTHERMO_THERMO_INVALID_ARGUMENT) {
        throw Failure("the object correction refused its parameters: " +
                      DescribeThermographyCode(result));
      }
      uncorrected_pixels_ += failed;
    }
  }
  if (with_raw && !session_.FetchRaw(frame_id, &frame->raw)) return false;

  frame->frame_id = frame_id;
  KolThermoFrameInfo& info = frame->info;
  info.frame_id = static_cast<unsigned int>(frame_id);
  info.time_s = NowSeconds();
  info.internal_c = session_.InternalTemperature().value_or(KOLTHERMO_THERMO_NO_TEMPERATURE);
  info.emissivity = options_.object.emissivity;
  info.reflected_c = options_.object.reflected_c;
  info.transmission = options_.object.transmission;
  info.atmosphere_c = options_.object.atmosphere_c;
  info.table = has_table_ ? table_name_.c_str() : nullptr;
  return true;
}

std::vector<std::string> FrameProcessor::Measure(const ThermalFrame& frame) const {
  std::vector<std::string> lines;
  for (const MeasuredRegion& measured : options_.regions) {
    KolThermoMeasurement measurement{};
    measurement.region = measured.region;
    // The frame is corrected already.
    measurement.correct = 0;
    measurement.alarm = KOLTHERMO_ALARM_OFF;
    KolThermoStats stats{};
    const int result =
        KolThermoMeasure(frame.celsius.data(), kImageWidth, kImageHeight, &measurement, &stats);
    if (result == KOLTHERMO_THERMO_EMPTY_REGION) {
      lines.push_back(measured.label + ": no temperature in the region");
      continue;
    }
    if (result != KOLTHERMO_THERMO_OK) {
      throw Failure("cannot measure the " + measured.label + ": " +
                    DescribeThermographyCode(result));
    }
    char text[256];
    std::snprintf(text, sizeof text,
                  "%s: mean %.2f °C  min %.2f °C at %d,%d  max %.2f °C at %d,%d  "
                  "stddev %.2f °C  %d pixel%s",
                  measured.label.c_str(), stats.mean_c, static_cast<double>(stats.min_c),
                  stats.min_x, stats.min_y, static_cast<double>(stats.max_c), stats.max_x,
                  stats.max_y, stats.stddev_c, stats.count, stats.count == 1 ? "" : "s");
    lines.emplace_back(text);
  }
  return lines;
}

ColourPicture FrameProcessor::Colour(const ThermalFrame& frame) const {
  ColourPicture picture;
  picture.rgb.resize(static_cast<size_t>(kImagePixels) * 3);
  picture.width = kImageWidth;
  float low = 0.0f;
  float high = 0.0f;
  const int coloured = KolThermoColorize(frame.celsius.data(), kImageWidth, kImageHeight,
                                         &options_.colours, picture.rgb.data(), &low, &high);
  if (coloured == KOLTHERMO_THERMO_EMPTY_REGION) {
    throw Failure("frame " + std::to_string(static_cast<unsigned>(frame.frame_id)) +
                  " holds no temperature to colour");
  }
  if (coloured != KOLTHERMO_THERMO_OK) {
    throw Failure("cannot colour the picture: " + DescribeThermographyCode(coloured));
  }
  if (options_.scale_bar) {
    picture.width += KolThermoScaleBarWidth(kImageHeight);
    std::vector<unsigned char> framed(static_cast<size_t>(picture.width) * kImageHeight * 3);
    const int drawn =
        KolThermoDrawWithScaleBar(picture.rgb.data(), kImageWidth, kImageHeight,
                                  options_.colours.palette, low, high, nullptr, framed.data());
    if (drawn != KOLTHERMO_THERMO_OK) {
      throw Failure("cannot draw the scale bar: " + DescribeThermographyCode(drawn));
    }
    picture.rgb.swap(framed);
  }
  return picture;
}

void FrameProcessor::WritePicture(const ThermalFrame& frame, const std::string& path) const {
  const ColourPicture picture = Colour(frame);
  WriteReplacing(path, [&](const std::string& staged) {
    return KolThermoWritePicture(staged.c_str(), picture.rgb.data(), picture.width, kImageHeight);
  });
}

void FrameProcessor::WriteCelsiusTiff(const ThermalFrame& frame, const std::string& path) const {
  WriteReplacing(path, [&](const std::string& staged) {
    return KolThermoWriteCelsiusTiff(staged.c_str(), frame.celsius.data(), kImageWidth,
                                     kImageHeight, &frame.info);
  });
}

void FrameProcessor::WriteRaw16Tiff(const ThermalFrame& frame, const std::string& path) const {
  WriteReplacing(path, [&](const std::string& staged) {
    return KolThermoWriteRaw16Tiff(staged.c_str(), frame.raw.data(), kImageWidth, kImageHeight,
                                   &frame.info);
  });
}

void FrameProcessor::WriteCelsiusCsv(const ThermalFrame& frame, const std::string& path) const {
  WriteReplacing(path, [&](const std::string& staged) {
    return KolThermoWriteCelsiusCsv(staged.c_str(), frame.celsius.data(), kImageWidth, kImageHeight,
                                    &frame.info);
  });
}

}  // namespace kt::cli
