#include "still_formats.h"

#include <array>

namespace kt::cli {
namespace {

constexpr std::array kFormats{
    StillFormat{"bmp", 0, ".bmp", "false-colour BMP, 24 bits", false},
    StillFormat{"colour-raw", 1, ".bgr", "false-colour pixel dump (blue-green-red rows)", false},
    StillFormat{"jpeg", 2, ".jpg", "false-colour JPEG, quality 100", false},
    StillFormat{"jpeg70", 3, ".jpg", "false-colour JPEG, quality 70", false},
    StillFormat{"jpeg20", 4, ".jpg", "false-colour JPEG, quality 20", false},
    StillFormat{"png", 5, ".png", "false-colour PNG, 8 bits per sample", false},
    StillFormat{"tiff", 6, ".tiff", "false-colour TIFF, 8 bits per sample", false},
    StillFormat{"raw", 7, ".raw", "raw 16-bit sensor codes, pixel dump", false},
    StillFormat{"raw-png", 8, ".png", "raw 16-bit sensor codes, greyscale PNG", false},
    StillFormat{"raw-tiff", 9, ".tiff", "raw 16-bit sensor codes, greyscale TIFF", false},
    StillFormat{"temp-i8", 10, ".i8", "temperature map, signed 8-bit degrees", true},
    StillFormat{"temp-u8", 11, ".u8", "temperature map, unsigned 8-bit degrees", true},
    StillFormat{"temp-i32", 12, ".i32", "temperature map, 32-bit integer degrees", true},
    StillFormat{"temp-f32", 13, ".f32", "temperature map, 32-bit float degrees", true},
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
