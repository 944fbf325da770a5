// The colour-mapping record of one instance: the window of raw codes spread over
// the palette and how it follows the scene. The host changes it through
// parameters 12 to 14 while the capture thread re-ranges it, so every field is
// atomic.
#pragma once

#include <atomic>
#include <cstdint>

namespace kt {

struct ColourMapping {
  // Negative: re-range after every frame; n > 0: for the next n frames; 0: fixed.
  std::atomic<int32_t> auto_range_count{-1};
  // Raw code at and above which a pixel is white.
  std::atomic<int32_t> high_bound{3000};
  // Raw code at and below which a pixel is black.
  std::atomic<int32_t> low_bound{1000};
};

}  // namespace kt
