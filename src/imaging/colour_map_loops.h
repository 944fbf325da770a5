// The inner loops of the false-colour mapper, as interchangeable sets: the
// plain loops, which build and run everywhere, and the fastest set this
// processor runs (vector loops chosen once at run time where the build has
// them, otherwise the plain ones). Every set gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/colour_mapping.h"
#include "imaging/dib_surface.h"

namespace kt {

// The palette colours handed to fill_run: one per index, then this many
// entries that are read but never used, so that a loop may load a whole
// vector starting at any index.
inline constexpr int kPaletteColoursPadding = 16;

// One frame to map: 16-bit codes in, blue-green-red pixels out (3 bytes
// each; nothing past width x 3 in a row is written), and the rectangle whose
// codes steer the window (columns end_col and rows end_row excluded).
struct ColourFrame {
  const uint8_t* raw;
  ptrdiff_t raw_stride;
  uint8_t* colour;
  ptrdiff_t colour_stride;
  int32_t width;
  int32_t height;
  int32_t first_row;
  int32_t end_row;
  int32_t first_col;
  int32_t end_col;
};

struct ColourMapLoops {
  // Maps every pixel through `table` (one entry per 16-bit code, bits 24-31
  // zero) and lowers *minimum and raises *maximum to the extremes of the
  // codes in the central rectangle.
  void (*map_frame)(const ColourFrame& frame, const uint32_t* table, uint32_t* minimum,
                    uint32_t* maximum);
  // out[k] = bgr[min(trunc(float(first_offset + k) x 360 / span), 359)] for
  // k < count, in single precision; first_offset >= 0, first_offset + count
  // <= span and span < 2^31. `bgr` holds kPaletteSize + kPaletteColoursPadding
  // entries.
  void (*fill_run)(uint32_t* out, int32_t first_offset, int32_t count, float span,
                   const uint32_t* bgr);
  // Maps every pixel straight from the window low..high (0 <= low < high <=
  // 65535), computing each palette index as the lookup's entries are
  // computed, and finds the extremes as map_frame does; `bgr` as for
  // fill_run. Returns false, having written nothing, where this set has no
  // such loop: the caller then maps through the lookup.
  bool (*map_frame_by_window)(const ColourFrame& frame, int32_t low, int32_t high,
                              const uint32_t* bgr, uint32_t* minimum, uint32_t* maximum);
};

const ColourMapLoops& PlainColourMapLoops();
const ColourMapLoops& FastestColourMapLoops();

// MapFrameToColour with the given loops; MapFrameToColour itself takes the
// fastest set. Tests run both sets through the same frames.
bool MapFrameToColourWith(const ColourMapLoops& loops, ColourMapping& record,
                          const CDibSurface& raw, uint8_t* colour_pixels, int colour_stride);

}  // namespace kt
