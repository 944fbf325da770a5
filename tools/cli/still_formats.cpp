#include "still_formats.h"

#include <array>

#include "kolthermo/kolthermo.h"

namespace kt::cli {
namespace {

constexpr std::array kFormats{
    StillFormat{"bmp", KOLTHERMO_FORMAT_BMP, ".bmp", "false-colour BMP, 24 bits", false},
    StillFormat{"colour-raw", KOLTHERMO_FORMAT_COLOR_RAW, ".bgr",
                "false-colour pixel dump (blue-green-red rows)", false},
    StillFormat{"jpeg", KOLTHERMO_FORMAT_JPEG, ".jpg", "false-colour JPEG, quality 100", false},
    StillFormat{"jpeg70", KOLTHERMO_FORMAT_JPEG70, ".jpg", "false-colour JPEG, quality 70", false},
    StillFormat{"jpeg20", KOLTHERMO_FORMAT_JPEG20, ".jpg", "false-colour JPEG, quality 20", false},
    StillFormat{"png", KOLTHERMO_FORMAT_PNG, ".png", "false-colour PNG, 8 bits per sample", false},
    StillFormat{"tiff", KOLTHERMO_FORMAT_TIFF, ".tiff", "false-colour TIFF, 8 bits per sample",
                false},
    StillFormat{"raw", KOLTHERMO_FORMAT_RAW, ".raw", "raw 16-bit sensor codes, pixel dump", false},
    StillFormat{"raw-png", KOLTHERMO_FORMAT_RAW_PNG, ".png",
                "raw 16-bit sensor codes, greyscale PNG", false},
    StillFormat{"raw-tiff", KOLTHERMO_FORMAT_RAW_TIFF, ".tiff",
                "raw 16-bit sensor codes, greyscale TIFF", false},
    StillFormat{"temp-i8", KOLTHERMO_FORMAT_TEMP_I8, ".i8", "temperature map, signed 8-bit degrees",
                true},
    StillFormat{"temp-u8", KOLTHERMO_FORMAT_TEMP_U8, ".u8",
                "temperature map, unsigned 8-bit degrees", true},
    StillFormat{"temp-i32", KOLTHERMO_FORMAT_TEMP_I32, ".i32",
                "temperature map, 32-bit integer degrees", true},
    StillFormat{"temp-f32", KOLTHERMO_FORMAT_TEMP_F32, ".f32",
                "temperature map, 32-bit float degrees", true},
};

}  // namespace

std::span<const StillFormat> StillFormats() { return kFormats; }

std::optional<StillFormat> FindStillFormat(std::string_view name) {
  for (const StillFormat& format : kFormats) {
    if (format.name == name) return format;
  }
  return std::nullopt;
}

std::string_view StillFormatNames() {
  return "bmp, jpeg, jpeg70, jpeg20, png, tiff, raw-png, raw-tiff, raw, colour-raw, temp-i8, "
         "temp-u8, temp-i32, temp-f32";
}

}  // namespace kt::cli
