// A picture with a colour scale on its right: the palette's gradient from the
// range's low end (bottom) to its high end (top), ticks and degree labels.
#pragma once

#include <cstdint>
#include <string>

#include "palette_tables.h"

namespace kt::thermography {

// Pictures lower than this have no room for two labels.
inline constexpr int kScaleBarMinHeight = 32;
// Neither side of a picture with a scale may exceed this.
inline constexpr int kScaleBarMaxSide = 32768;

// Where the parts of the scale lie, in pixels from the scale's left edge and
// the picture's top row.
struct ScaleBarLayout {
  int font_pixels;
  int bar_left, bar_width;
  int bar_top, bar_bottom;  // rows of the high and low ends, inclusive
  int tick_length;
  int text_left;
  int width;       // of the whole scale
  int label_room;  // labels that fit without crowding
};

// The layout for a picture `height` rows high; width 0 when the height is
// below kScaleBarMinHeight or above kScaleBarMaxSide.
ScaleBarLayout LayoutScaleBar(int height);

enum class ScaleBarResult { kOk, kInvalid, kFontUnavailable };

// Copies the picture (3 bytes per pixel) into `out`, rows width +
// layout.width pixels long, and draws the scale beside it. Arguments are
// checked by the caller: sizes within limits, low <= high, both finite.
ScaleBarResult DrawScaleBar(const uint8_t* rgb, int width, int height, const PaletteTable& palette,
                            float low, float high, const char* font_path, uint8_t* out);

// The font used when the caller names none: DejaVu Sans where Debian puts
// it; on Windows, Arial in the Windows folder's Fonts.
std::string DefaultFontPath();

}  // namespace kt::thermography
