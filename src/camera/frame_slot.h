// One slot of an instance's frame ring: a frame ID and the frame's raw and
// false-colour pictures.
#pragma once

#include <atomic>
#include <cstdint>

#include "imaging/dib_surface.h"

namespace kt {

// Sensor size: every slot surface has it.
inline constexpr int32_t kFrameWidth = 384;
inline constexpr int32_t kFrameHeight = 288;

struct FrameSlot {
  // Identifies the frame now in the slot; 0 = none. Written under the frame lock.
  std::atomic<int32_t> frame_id{0};
  // Raw 16-bit sensor codes, image size. Contents guarded by the frame lock.
  CDibSurface raw;
  // False-colour picture, 24 bits per pixel, image size. Guarded by the frame lock.
  CDibSurface colour;
};

}  // namespace kt
