// False colour for a frame of temperatures: the range the palette spans
// (automatic, manual or histogram-equalised), the isotherm and the pixels
// without a temperature.
#pragma once

#include <cstddef>
#include <cstdint>

#include "palette_tables.h"

namespace kt::thermography {

enum class RangeMode { kAuto, kManual, kHistogram };

struct ColorizeSettings {
  const PaletteTable* palette;
  RangeMode range;
  float low_c, high_c;  // used by kManual only; low_c < high_c, both finite
  bool isotherm;
  float iso_low_c, iso_high_c;  // a pixel with iso_low_c <= t <= iso_high_c is drawn iso_rgb
  Rgb iso_rgb;
};

// Histogram equalisation sorts the range into this many bins.
// 16384 bins: 0.005 degrees each over 80 degrees, below the sensor's noise,
// so a scene crowded into one degree of a wide range still gets its detail.
inline constexpr int kHistogramBins = 16384;

// Colours `count` pixels into `rgb` (3 bytes each). `used_low` and
// `used_high` get the range the colours stand for. Returns false, with every
// pixel black, when no pixel has a temperature.
bool Colorize(const float* temperatures, size_t count, const ColorizeSettings& settings,
              uint8_t* rgb, float& used_low, float& used_high);

}  // namespace kt::thermography
