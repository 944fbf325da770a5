// Plain views of pixel memory, the currency of the pixel converters and the
// resampling routines: where the pixels are, the geometry, and which picture
// row is stored first. A view owns nothing; its memory belongs to a surface or
// buffer that outlives every use of the view.
#pragma once

#include <cstdint>

namespace kt {

// Which row of the picture a stored image begins with. Bitmap surfaces store
// the bottom row first; the encoders and the host's temperature buffers may
// want the top row first.
enum class RowOrder : uint8_t { kBottomUp, kTopDown };

// `height` stored rows starting `stride` bytes apart from `pixels`, each
// holding `width` pixels of `bits_per_pixel` bits (little-endian samples).
// Only those pixels belong to the view: the bytes after a row's last pixel
// may be another view's (a part of an image is a view whose pointer starts at
// the part's first pixel), so nothing reads or writes them through this one.
// `Byte` is const for a view that is only read.
template <typename Byte>
struct BasicImageView {
  Byte* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t stride = 0;
  int32_t bits_per_pixel = 0;
  RowOrder rows = RowOrder::kBottomUp;
};

using ImageView = BasicImageView<uint8_t>;
using ConstImageView = BasicImageView<const uint8_t>;

// The same pixels, read only.
inline ConstImageView AsConst(const ImageView& view) {
  return ConstImageView{view.pixels, view.width,          view.height,
                        view.stride, view.bits_per_pixel, view.rows};
}

// A rectangle in pixels: columns left to right - 1, rows top to bottom - 1.
struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

}  // namespace kt
