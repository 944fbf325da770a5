// The per-pixel loops of false colouring, written so that the compiler turns
// them into vector code (several variants for the processor at hand where the
// platform can choose at load time).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kt::thermography {

// A pixel's temperature counts when it is finite and not -999.0.
inline bool HasTemperature(float t) { return t != -999.0f && t - t == 0.0f; }

// The lowest and highest temperature of the pixels that have one; false
// when none has.
bool TemperatureExtremes(const float* temperatures, size_t count, float& low, float& high);

// How each pixel is coded: code = min(max((t - low) * scale + bias, 0),
// top_code) truncated; `no_temperature_code` for a pixel without a
// temperature; `isotherm_code` for one with iso_low <= t <= iso_high.
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

// Histograms are counted in this many copies, filled in turn: with one, a
// run of equal codes would make every increment wait for the previous one.
inline constexpr size_t kHistogramCopies = 2;

// Adds each code to one of the kHistogramCopies histograms that follow each
// other in `histograms`, `codes_per_copy` entries each (more than any code).
void CountCodes(const uint16_t* codes, size_t count, uint32_t* histograms, size_t codes_per_copy);

// Writes each pixel's colour, colours[code] (R, G, B in bytes 0-2), as three
// bytes. `last_in_buffer` says that the pixel after the last one is beyond
// the end of `rgb` (so it must not be touched even briefly).
void PaintPixels(const uint16_t* codes, size_t count, const uint32_t* colours, uint8_t* rgb,
                 bool last_in_buffer);

}  // namespace kt::thermography
