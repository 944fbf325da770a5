// Text for the colour scale, drawn with FreeType from a TrueType font.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kt::thermography {

// An RGB picture being drawn on, 3 bytes per pixel, rows `width` pixels long.
struct RgbCanvas {
  uint8_t* pixels;
  int width;
  int height;
};

// One font at one pixel size. Each object has its own FreeType library, so
// objects on different threads never share state.
class LabelFont {
 public:
  // Null when the font cannot be opened, is not a scalable font, or lacks
  // the digits.
  static std::unique_ptr<LabelFont> Open(const std::string& path, int pixel_size);
  ~LabelFont();
  LabelFont(const LabelFont&) = delete;
  LabelFont& operator=(const LabelFont&) = delete;

  // Draws `text` in `colour` (anti-aliased over what is there), its
  // left end at x, the middle of its digits on row `middle_y`, clipped to
  // columns [clip_left, canvas.width) and the canvas's rows.
  void Draw(std::u32string_view text, int x, int middle_y, const uint8_t colour[3],
            RgbCanvas canvas, int clip_left) const;

 private:
  struct Faces;
  explicit LabelFont(std::unique_ptr<Faces> faces);
  std::unique_ptr<Faces> faces_;
};

}  // namespace kt::thermography
