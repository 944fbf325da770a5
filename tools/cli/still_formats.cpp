#include "still_formats.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "kolthermo/kolthermo.h"
#include "options.h"

namespace kt::cli {
namespace {

constexpr int kNotCore = -1;

constexpr std::array kFormats{
    StillFormat{"bmp", KOLTHERMO_FORMAT_BMP, ".bmp", ".bmp", "false-colour BMP, 24 bits", false,
                StillWriter::kCore, true},
    StillFormat{"colour-raw", KOLTHERMO_FORMAT_COLOR_RAW, ".bgr", ".bgr",
                "false-colour pixel dump (blue-green-red rows)", false},
    StillFormat{"jpeg", KOLTHERMO_FORMAT_JPEG, ".jpg", ".jpg .jpeg",
                "false-colour JPEG, quality 100", false, StillWriter::kCore, true},
    StillFormat{"jpeg70", KOLTHERMO_FORMAT_JPEG70, ".jpg", ".jpg .jpeg",
                "false-colour JPEG, quality 70", false},
    StillFormat{"jpeg20", KOLTHERMO_FORMAT_JPEG20, ".jpg", ".jpg .jpeg",
                "false-colour JPEG, quality 20", false},
    StillFormat{"png", KOLTHERMO_FORMAT_PNG, ".png", ".png", "false-colour PNG, 8 bits per sample",
                false, StillWriter::kCore, true},
    StillFormat{"tiff", KOLTHERMO_FORMAT_TIFF, ".tiff", ".tif .tiff",
                "false-colour TIFF, 8 bits per sample", false},
    StillFormat{"raw", KOLTHERMO_FORMAT_RAW, ".raw", ".raw", "raw 16-bit sensor codes, pixel dump",
                false},
    StillFormat{"raw-png", KOLTHERMO_FORMAT_RAW_PNG, ".png", ".png",
                "raw 16-bit sensor codes, greyscale PNG", false},
    StillFormat{"raw-tiff", KOLTHERMO_FORMAT_RAW_TIFF, ".tiff", ".tif .tiff",
                "raw 16-bit sensor codes, greyscale TIFF", false},
    StillFormat{"temp-i8", KOLTHERMO_FORMAT_TEMP_I8, ".i8", ".i8",
                "temperature map, signed 8-bit degrees", true},
    StillFormat{"temp-u8", KOLTHERMO_FORMAT_TEMP_U8, ".u8", ".u8",
                "temperature map, unsigned 8-bit degrees", true},
    StillFormat{"temp-i32", KOLTHERMO_FORMAT_TEMP_I32, ".i32", ".i32",
                "temperature map, 32-bit integer degrees", true},
    StillFormat{"temp-f32", KOLTHERMO_FORMAT_TEMP_F32, ".f32", ".f32",
                "temperature map, 32-bit float degrees", true},
    StillFormat{"celsius-tiff", kNotCore, ".tiff", ".tif .tiff",
                "32-bit float degrees Celsius TIFF with its metadata", true,
                StillWriter::kCelsiusTiff},
    StillFormat{"raw16-tiff", kNotCore, ".tiff", ".tif .tiff",
                "raw 16-bit sensor codes TIFF with the frame's metadata", false,
                StillWriter::kRaw16Tiff},
    StillFormat{"celsius-csv", kNotCore, ".csv", ".csv",
                "degrees Celsius as CSV, metadata in '#' lines", true, StillWriter::kCelsiusCsv},
};

// The format a file name's extension stands for when --format is not given.
struct ImpliedFormat {
  std::string_view extension;
  std::string_view format;
};
constexpr std::array kImplied{
    ImpliedFormat{".bmp", "bmp"},         ImpliedFormat{".bgr", "colour-raw"},
    ImpliedFormat{".jpg", "jpeg"},        ImpliedFormat{".jpeg", "jpeg"},
    ImpliedFormat{".png", "png"},         ImpliedFormat{".tif", "tiff"},
    ImpliedFormat{".tiff", "tiff"},       ImpliedFormat{".raw", "raw"},
    ImpliedFormat{".i8", "temp-i8"},      ImpliedFormat{".u8", "temp-u8"},
    ImpliedFormat{".i32", "temp-i32"},    ImpliedFormat{".f32", "temp-f32"},
    ImpliedFormat{".csv", "celsius-csv"},
};

constexpr std::string_view kDefaultFormat = "bmp";

}  // namespace

std::span<const StillFormat> StillFormats() { return kFormats; }

std::optional<StillFormat> FindStillFormat(std::string_view name) {
  for (const StillFormat& format : kFormats) {
    if (format.name == name) return format;
  }
  return std::nullopt;
}

std::string StillFormatNames() {
  std::string names;
  for (const StillFormat& format : kFormats) {
    if (!names.empty()) names += ", ";
    names += format.name;
  }
  return names;
}

std::string LowerExtension(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view base = slash == path.npos ? path : path.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  // A leading dot names a hidden file, not an extension.
  if (dot == base.npos || dot == 0) return "";
  std::string extension(base.substr(dot));
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool ExtensionListed(std::string_view extensions, std::string_view extension) {
  if (extension.empty()) return false;
  size_t at = 0;
  while (at < extensions.size()) {
    const size_t end = std::min(extensions.find(' ', at), extensions.size());
    if (extensions.substr(at, end - at) == extension) return true;
    at = end + 1;
  }
  return false;
}

StillFormat ChooseStillFormat(const std::optional<std::string>& format_name,
                              const std::optional<std::string>& output) {
  const std::string extension = output ? LowerExtension(*output) : "";
  const ImpliedFormat* implied = nullptr;
  for (const ImpliedFormat& entry : kImplied) {
    if (entry.extension == extension) implied = &entry;
  }
  if (!format_name) {
    return *FindStillFormat(implied != nullptr ? implied->format : kDefaultFormat);
  }
  const std::optional<StillFormat> format = FindStillFormat(*format_name);
  if (!format) {
    throw UsageError("unknown format '" + *format_name + "' (expected " + StillFormatNames() + ")");
  }
  // An extension of another format would give a file that opens as something
  // it is not: refused rather than written.
  if (implied != nullptr && !ExtensionListed(format->extensions, extension)) {
    throw UsageError("--format " + *format_name + " does not match the file name '" + *output +
                     "' (" + extension + " is written as " + std::string(implied->format) + "; " +
                     *format_name + " files end in " + std::string(format->extensions) + ")");
  }
  return *format;
}

}  // namespace kt::cli
