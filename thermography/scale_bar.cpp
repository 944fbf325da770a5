// Layout: the font size follows the picture's height (an eighteenth of it,
// 10 to 64 pixels); the bar is one font size wide with half a size of margin
// at its left and above and below its ends, so the labels at the ends fit;
// labels are at least 2.2 font sizes apart. The text column is sized for
// "-100.00 °C" in DejaVu Sans (5.4 font sizes); longer labels are clipped at
// the scale's right edge rather than widening it, so the width depends on
// the height alone.
#include "scale_bar.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "scale_bar_font.h"
#include "scale_bar_labels.h"

namespace kt::thermography {
namespace {

constexpr uint8_t kBackground[3] = {32, 32, 32};
constexpr uint8_t kInk[3] = {255, 255, 255};

void Fill(uint8_t* p, const uint8_t colour[3]) { std::memcpy(p, colour, 3); }

}  // namespace

std::string DefaultFontPath() {
#ifdef _WIN32
  const char* windows = std::getenv("WINDIR");
  return std::string(windows != nullptr && *windows != '\0' ? windows : "C:\\Windows") +
         "\\Fonts\\arial.ttf";
#else
  return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
#endif
}

ScaleBarLayout LayoutScaleBar(int height) {
  ScaleBarLayout layout{};
  if (height < kScaleBarMinHeight || height > kScaleBarMaxSide) return layout;
  const int s = std::clamp(static_cast<int>(std::lround(height / 18.0)), 10, 64);
  layout.font_pixels = s;
  layout.bar_left = s / 2;
  layout.bar_width = s;
  layout.bar_top = s * 3 / 4;
  layout.bar_bottom = height - 1 - s * 3 / 4;
  layout.tick_length = std::max(2, s / 3);
  layout.text_left = layout.bar_left + layout.bar_width + layout.tick_length + std::max(2, s / 4);
  layout.width = layout.text_left + s * 27 / 5 + s / 2;
  layout.label_room =
      1 + static_cast<int>((layout.bar_bottom - layout.bar_top) / (2.2 * static_cast<double>(s)));
  return layout;
}

ScaleBarResult DrawScaleBar(const uint8_t* rgb, int width, int height, const PaletteTable& palette,
                            float low, float high, const char* font_path, uint8_t* out) {
  const ScaleBarLayout layout = LayoutScaleBar(height);
  if (layout.width == 0) return ScaleBarResult::kInvalid;
  const auto labels = ChooseScaleLabels(low, high, std::max(2, layout.label_room));
  if (!labels) return ScaleBarResult::kInvalid;
  // The font first, so that a missing one leaves `out` untouched.
  const auto font = LabelFont::Open(
      font_path != nullptr ? std::string(font_path) : DefaultFontPath(), layout.font_pixels);
  if (!font) return ScaleBarResult::kFontUnavailable;

  const int total_width = width + layout.width;
  const auto row_bytes = static_cast<size_t>(total_width) * 3;
  const int bar_span = layout.bar_bottom - layout.bar_top;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = out + static_cast<size_t>(y) * row_bytes;
    std::memcpy(row, rgb + static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
    uint8_t* scale = row + static_cast<size_t>(width) * 3;
    for (int x = 0; x < layout.width; ++x) Fill(scale + 3 * x, kBackground);
    if (y < layout.bar_top || y > layout.bar_bottom) continue;
    // A flat range is one colour, the palette's middle, as it is coloured.
    const int index =
        low == high ? kPaletteEntries / 2 - 1
                    : ((layout.bar_bottom - y) * (kPaletteEntries - 1) + bar_span / 2) / bar_span;
    const uint8_t colour[3] = {palette[index].r, palette[index].g, palette[index].b};
    for (int x = 0; x < layout.bar_width; ++x) Fill(scale + 3 * (layout.bar_left + x), colour);
  }

  RgbCanvas canvas{out, total_width, height};
  const double range = static_cast<double>(high) - static_cast<double>(low);
  for (const float value : labels->values) {
    const int y =
        range > 0.0 ? layout.bar_top + static_cast<int>(std::lround(
                                           (static_cast<double>(high) - value) / range * bar_span))
                    : (layout.bar_top + layout.bar_bottom) / 2;
    uint8_t* tick = out + static_cast<size_t>(y) * row_bytes +
                    static_cast<size_t>(width + layout.bar_left + layout.bar_width) * 3;
    for (int x = 0; x < layout.tick_length; ++x) Fill(tick + 3 * x, kInk);
    font->Draw(LabelText(value, labels->decimals), width + layout.text_left, y, kInk, canvas,
               width + layout.text_left);
  }
  return ScaleBarResult::kOk;
}

}  // namespace kt::thermography
