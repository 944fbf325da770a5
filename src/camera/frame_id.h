// Frame IDs: the millisecond tick times one value of the C runtime's rand, in
// wrapping 32-bit arithmetic, plus 1 in the capture loop.
#pragma once

#include <cstdint>

namespace kt {

// A frame ID of 0 means "none" (and a single-frame call returning 0 means
// failure), so a product that comes out as 0 is formed again with a fresh tick
// and random value.
int32_t FormFrameId(uint32_t plus);

// The same with the tick and the random value drawn from the given sources.
int32_t FormFrameIdFrom(uint32_t plus, uint32_t (*tick)(), int (*random)());

}  // namespace kt
