// The 360-colour false-colour palette: near black through violet, blue, cyan,
// green, yellow and red to white, built from a hue sweep of an HLS to RGB
// conversion whose lightness rises at both ends.
#pragma once

#include <cstdint>

namespace kt {

inline constexpr int kPaletteSize = 360;

// One colour channel of an HLS to RGB conversion: lightness bounds a and b,
// hue h in degrees (taken modulo 360 by truncating division; a negative
// remainder gives a). Rises from a to b over 0..59, stays b over 60..179,
// falls back to a over 180..239 and stays a from 240 on.
int32_t HueValue(int32_t a, int32_t b, int32_t h);

// Fills `out` with the palette: red in bits 0-7, green in 8-15, blue in 16-23,
// bits 24-31 zero.
void BuildPalette(uint32_t out[kPaletteSize]);

}  // namespace kt
