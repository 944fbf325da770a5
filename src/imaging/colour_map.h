// False-colour mapping: turns a frame of 16-bit raw codes into a 24-bit
// blue-green-red picture through the instance's palette and window, then lets
// the window follow the scene.
#pragma once

#include <cstdint>

#include "imaging/colour_mapping.h"
#include "imaging/dib_surface.h"

namespace kt {

// Writes every pixel of the colour memory (row k from row k of `raw`, 3 bytes
// per pixel in the order blue, green, red, rows `colour_stride` bytes apart;
// padding bytes are left alone): codes at or below the low bound are black,
// codes at or above the high bound white, the rest the palette colour at
// index trunc((g - low) x 360 / (high - low)) in single precision. Then, unless
// the auto-range count is 0, decrements a positive count and sets the window
// to the central area's minimum - 120 (at least 0) and maximum + 120 (at most
// 16383), for the next frame.
//
// The bounds are read once when the frame starts and written once when it
// ends, so a host thread may change them meanwhile. Any window the parameters
// allow is safe: a window with high at or below low gives only black and white,
// and the index never leaves the palette.
//
// The colour memory must hold raw.height() rows of colour_stride bytes.
// Returns true; false, touching nothing, when `raw` is empty or not 16 bits
// deep, `colour_pixels` is null or `colour_stride` is below width x 3.
//
// Any thread may call it. Calls on one record may overlap; the second one
// then computes each pixel directly instead of through the record's lookup.
bool MapFrameToColour(ColourMapping& record, const CDibSurface& raw, uint8_t* colour_pixels,
                      int colour_stride);

}  // namespace kt
