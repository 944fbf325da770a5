#include <cmath>

#include "sim/frame_generator.h"
#include "sim/pixel_finisher.h"

namespace kt::sim {

std::vector<int8_t> MakeFixedPattern(uint64_t seed) {
  Xorshift64 rng(seed);
  // Uniform in -1..1 from the top 24 bits of a draw.
  auto uniform = [&rng] { return static_cast<double>(rng.Next() >> 40) / 8388608.0 - 1.0; };
  std::vector<double> columns(kFrameWidth);
  for (double& column : columns) column = uniform();
  std::vector<int8_t> pattern(kFramePixels);
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x) {
      // Column-amplifier stripes dominate, as on a real microbolometer readout.
      const double value = 0.6 * columns[static_cast<size_t>(x)] + 0.4 * uniform();
      pattern[static_cast<size_t>(y) * kFrameWidth + static_cast<size_t>(x)] =
          static_cast<int8_t>(std::lround(value * 127.0));
    }
  }
  return pattern;
}

}  // namespace kt::sim
