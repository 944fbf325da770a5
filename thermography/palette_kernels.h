// The per-pixel loops of false colouring, written so that the compiler turns
// them into vector code (several variants for the processor at hand where the
// platform can choose at load time).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kt::thermography {

// The lowest and highest temperature of the pixels that have one; false
// when none has.
bool TemperatureExtremes(const float* temperatures, size_t count, float& low, float& high);

// How each pixel is coded: code = min(max((t - low) * scale + bias, 0),
// top_code) truncated; `isotherm_code` for one with iso_low <= t <= iso_high;
// `no_temperature_code` for a pixel without a temperature. top_code <
// isotherm_code < no_temperature_code.
struct CodeRule {
  float low;
  float scale;
  float bias;
  float top_code;
  float iso_low;
  float iso_high;
  uint16_t no_temperature_code;
  uint16_t isotherm_code;
};

void CodePixels(const float* temperatures, size_t count, const CodeRule& rule, uint16_t* codes);

// Adds each code to `histogram`, which has an entry for every code.
void CountCodes(const uint16_t* codes, size_t count, uint32_t* histogram);

// Writes each pixel's colour, colours[code] (R, G, B in bits 0-7, 8-15,
// 16-23, the rest zero), as three bytes.
void PaintPixels(const uint16_t* codes, size_t count, const uint32_t* colours, uint8_t* rgb);

}  // namespace kt::thermography
