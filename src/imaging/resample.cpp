#include "imaging/resample.h"

#include <cstring>

namespace kt {
namespace {

// Bytes copied per pixel.
constexpr int kCopiedBytes = 3;

// trunc(index x ratio) in single precision. Where floats are evaluated in the
// x87 registers (32-bit x86 without SSE arithmetic) the product is forced
// through memory, so that it is rounded to single precision before the
// truncation, as on every other target.
inline int64_t TruncatedProduct(int64_t index, float ratio) {
#if defined(__i386__) && !defined(__SSE2_MATH__)
  volatile float product = static_cast<float>(index) * ratio;
  return static_cast<int64_t>(product);
#else
  return static_cast<int64_t>(static_cast<float>(index) * ratio);
#endif
}

inline int64_t Clamp(int64_t value, int64_t low, int64_t high) {
  return value < low ? low : (value > high ? high : value);
}

// A non-empty rectangle inside a view whose rows fit its stride.
template <typename Byte>
bool FitsView(const Rect& rect, const BasicImageView<Byte>& view) {
  const int bytes_pp = view.bits_per_pixel / 8;
  return view.pixels != nullptr && view.width > 0 && view.height > 0 && bytes_pp >= kCopiedBytes &&
         int64_t{view.stride} >= int64_t{view.width} * bytes_pp && rect.left >= 0 &&
         rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
         rect.right <= view.width && rect.bottom <= view.height;
}

bool Resample(bool mirrored, const ImageView& dst, const Rect& d, const ConstImageView& src,
              const Rect& s) {
  if (!FitsView(d, dst) || !FitsView(s, src)) return false;
  const int64_t dst_bytes_pp = dst.bits_per_pixel / 8;
  const int64_t src_bytes_pp = src.bits_per_pixel / 8;
  const int64_t dst_stride = dst.stride;
  const int64_t src_stride = src.stride;
  const int64_t src_h = src.height;
  const int64_t src_w = src.width;
  const int64_t out_columns = int64_t{d.right} - d.left;
  const int64_t out_rows = int64_t{d.bottom} - d.top;
  const float horizontal =
      static_cast<float>(int64_t{s.right} - s.left) / static_cast<float>(out_columns);
  const float vertical =
      static_cast<float>(int64_t{s.bottom} - s.top) / static_cast<float>(out_rows);

  const auto source_row = [&](int64_t i) {
    const int64_t u = Clamp(TruncatedProduct(i, vertical), 0, src_h - 1);
    return mirrored ? int64_t{s.bottom} - u - 1 : u;
  };
  // Source rows never decrease with i, so the last output row reads the
  // lowest mirrored row; refuse before writing if that lies outside.
  if (mirrored && source_row(out_rows - 1) < 0) return false;

  for (int64_t i = 0; i < out_rows; ++i) {
    uint8_t* out = dst.pixels + (d.top + i) * dst_stride + int64_t{d.left} * dst_bytes_pp;
    const uint8_t* row = src.pixels + source_row(i) * src_stride;
    for (int64_t j = 0; j < out_columns; ++j) {
      const int64_t v = Clamp(TruncatedProduct(j, horizontal), 0, src_w - 1);
      std::memcpy(out, row + v * src_bytes_pp, kCopiedBytes);
      out += dst_bytes_pp;
    }
  }
  return true;
}

}  // namespace

bool ResampleNearest(const ImageView& dst, const Rect& dst_area, const ConstImageView& src,
                     const Rect& src_area) {
  return Resample(false, dst, dst_area, src, src_area);
}

bool ResampleNearestMirrored(const ImageView& dst, const Rect& dst_area, const ConstImageView& src,
                             const Rect& src_area) {
  return Resample(true, dst, dst_area, src, src_area);
}

}  // namespace kt
