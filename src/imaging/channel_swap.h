// Reordering blue-green-red pixels into red-green-blue for writers whose
// format has no blue-first layout.
#pragma once

#include <cstdint>

namespace kt {

// Copies `pixels` 3-byte pixels from `in` to `out` with the first and third
// byte of each exchanged. The ranges must not overlap.
void CopySwappingBlueAndRed(uint8_t* out, const uint8_t* in, int32_t pixels);

}  // namespace kt
