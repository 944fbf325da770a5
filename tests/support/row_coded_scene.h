// A simulated scene whose every pixel tells which frame it belongs to and
// which picture row it is on: value = (frame index % 50) * 300 + row, top row
// 0. A fetched frame whose rows do not all follow one base was torn.
#pragma once

#include <cstdint>

#include "sim/frame_generator.h"

namespace kt::test {

class RowCodedScene final : public kt::sim::FrameGenerator {
 public:
  static constexpr int kWidth = 384;
  static constexpr int kHeight = 288;

  void Render(const kt::sim::SceneState& state, uint16_t* pixels) const override {
    const int base = static_cast<int>(state.frame_index % 50) * 300;
    for (int row = 0; row < kHeight; ++row) {
      for (int col = 0; col < kWidth; ++col)
        pixels[row * kWidth + col] = static_cast<uint16_t>(base + row);
    }
  }

  // True when `frame` (kWidth x kHeight codes, either row order) is one whole
  // frame of this scene.
  static bool IsWhole(const uint16_t* frame) {
    const int first = frame[0];
    const int step = frame[kWidth] - first;  // +1 top row first, -1 bottom row first
    if (step != 1 && step != -1) return false;
    for (int row = 0; row < kHeight; ++row) {
      const int expected = first + step * row;
      for (int col = 0; col < kWidth; ++col) {
        if (frame[row * kWidth + col] != expected) return false;
      }
    }
    const int top = step == 1 ? first : first - (kHeight - 1);
    return top % 300 == 0;
  }
};

}  // namespace kt::test
