#include "imaging/palette.h"

#include <algorithm>

namespace kt {
namespace {

// The channel's ramp over a 60-degree span, `steps` sixtieths of the way from
// a to b. The span is taken in double precision so that bounds far apart
// cannot overflow 32 bits; the result lies between a and b.
int32_t Ramp(int32_t a, int32_t b, int32_t steps) {
  const double span = static_cast<double>(b) - static_cast<double>(a);
  return static_cast<int32_t>(static_cast<int64_t>(a) + static_cast<int64_t>(span * steps / 60.0));
}

int32_t ClampChannel(int32_t value) { return std::clamp<int32_t>(value, 0, 255); }

}  // namespace

int32_t HueValue(int32_t a, int32_t b, int32_t h) {
  h %= 360;
  if (h < 0) return a;
  if (h < 60) return Ramp(a, b, h);
  if (h < 180) return b;
  if (h < 240) return Ramp(a, b, 240 - h);
  return a;
}

void BuildPalette(uint32_t out[kPaletteSize]) {
  for (int32_t i = 0; i < kPaletteSize; ++i) {
    // Lightness: high at the start of the sweep, fading to mid grey by i = 59,
    // mid grey through the colours, then falling towards black after i = 300.
    // The palette is stored reversed, so index 0 is the dark end.
    const int32_t n = 38100 - 127 * i;
    int32_t lightness = 127;
    if (i < 60) lightness = (n - 30480) / 60 + 127;
    if (i > 300) lightness = 127 + n / 60;

    // Full saturation.
    int32_t low = 0;
    int32_t high = 255;
    if (lightness < 128) {
      high = lightness * 510 / 255;
    } else {
      low = 2 * lightness - 255;
    }

    const auto red = static_cast<uint32_t>(ClampChannel(HueValue(low, high, i + 420)));
    const auto green = static_cast<uint32_t>(ClampChannel(HueValue(low, high, i + 300)));
    const auto blue = static_cast<uint32_t>(ClampChannel(HueValue(low, high, i + 180)));
    out[kPaletteSize - 1 - i] = red + 256u * green + 65536u * blue;
  }
}

}  // namespace kt
