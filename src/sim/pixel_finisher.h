// The last step of every scene: from the noiseless raw response of a row to
// the codes the sensor delivers, adding the fixed-pattern offset and temporal
// noise, rounding and clamping to 14 bits. Shared by the scenes so that every
// scene has the same sensor.
#pragma once

#include <cstdint>

#include "sim/frame_generator.h"

namespace kt::sim {

// xorshift64*: cheap and good enough for sensor noise.
class Xorshift64 {
 public:
  explicit Xorshift64(uint64_t seed) : state_(seed != 0 ? seed : 0x9E3779B97F4A7C15ull) {}
  uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }

 private:
  uint64_t state_;
};

class PixelFinisher {
 public:
  explicit PixelFinisher(const SceneState& state);
  // `raw` holds kFrameWidth noiseless raw responses of row `y`.
  void FinishRow(int y, const float* raw, uint16_t* out);

 private:
  const SceneState& state_;
  Xorshift64 rng_;
};

}  // namespace kt::sim
