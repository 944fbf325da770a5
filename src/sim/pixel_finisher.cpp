#include "sim/pixel_finisher.h"

namespace kt::sim {
namespace {

// Temporal noise: the sum of two uniform 3-bit values minus 7, a triangular
// distribution over -7..7 with mean exactly 0 and a spread of about 3 codes.
// Ten pixels' worth from each 64-bit draw.
constexpr int kNoiseBits = 6;
constexpr int kNoisePerDraw = 10;
constexpr float kNoiseCentre = 7.0f;

inline uint16_t ToCode(float value) {
  if (!(value > 0.0f)) return 0;  // also NaN
  // value > 0 here, where adding a half and truncating rounds to nearest.
  const int code = static_cast<int>(value + 0.5f);  // NOLINT(bugprone-incorrect-roundings)
  return static_cast<uint16_t>(code > 16383 ? 16383 : code);
}

}  // namespace

PixelFinisher::PixelFinisher(const SceneState& state)
    : state_(state), rng_(0xD1B54A32D192ED03ull ^ (state.frame_index * 0x9E3779B97F4A7C15ull)) {}

void PixelFinisher::FinishRow(int y, const float* raw, uint16_t* out) {
  const int8_t* pattern = state_.fixed_pattern != nullptr && state_.fixed_pattern_gain != 0.0f
                              ? state_.fixed_pattern + static_cast<ptrdiff_t>(y) * kFrameWidth
                              : nullptr;
  const float gain = state_.fixed_pattern_gain / 127.0f;
  int x = 0;
  while (x < kFrameWidth) {
    uint64_t bits = state_.noise ? rng_.Next() : 0;
    const int end = x + kNoisePerDraw < kFrameWidth ? x + kNoisePerDraw : kFrameWidth;
    for (; x < end; ++x) {
      float value = raw[x];
      if (state_.noise) {
        const int noise = static_cast<int>((bits & 7u) + ((bits >> 3) & 7u));
        bits >>= kNoiseBits;
        value += static_cast<float>(noise) - kNoiseCentre;
      }
      if (pattern != nullptr) value += static_cast<float>(pattern[x]) * gain;
      out[x] = ToCode(value);
    }
  }
}

}  // namespace kt::sim
