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

// A non-empty rectangle inside a surface of that size whose rows fit its stride.
bool FitsSurface(const Rect& rect, int width, int height, int bytes_pp, int stride) {
  return width > 0 && height > 0 && bytes_pp >= kCopiedBytes &&
         int64_t{stride} >= int64_t{width} * bytes_pp && rect.left >= 0 && rect.top >= 0 &&
         rect.left < rect.right && rect.top < rect.bottom && rect.right <= width &&
         rect.bottom <= height;
}

int Resample(bool mirrored, uint8_t* dst, const uint8_t* src, const Rect* dst_rect,
             const Rect* src_rect, int dst_w, int dst_h, int src_w, int src_h, int dst_bytes_pp,
             int src_bytes_pp, int dst_stride, int src_stride) {
  if (dst == nullptr || src == nullptr || dst_rect == nullptr || src_rect == nullptr) return 0;
  const Rect& d = *dst_rect;
  const Rect& s = *src_rect;
  if (!FitsSurface(d, dst_w, dst_h, dst_bytes_pp, dst_stride) ||
      !FitsSurface(s, src_w, src_h, src_bytes_pp, src_stride)) {
    return 0;
  }
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
  if (mirrored && source_row(out_rows - 1) < 0) return 0;

  for (int64_t i = 0; i < out_rows; ++i) {
    uint8_t* out = dst + (d.top + i) * dst_stride + int64_t{d.left} * dst_bytes_pp;
    const uint8_t* row = src + source_row(i) * src_stride;
    for (int64_t j = 0; j < out_columns; ++j) {
      const int64_t v = Clamp(TruncatedProduct(j, horizontal), 0, src_w - 1);
      std::memcpy(out, row + v * src_bytes_pp, kCopiedBytes);
      out += dst_bytes_pp;
    }
  }
  return 1;
}

}  // namespace

int ResampleNearest(uint8_t* dst, const uint8_t* src, const Rect* dst_rect, const Rect* src_rect,
                    int dst_w, int dst_h, int src_w, int src_h, int dst_bytes_pp, int src_bytes_pp,
                    int dst_stride, int src_stride, int /*p*/, int /*q*/) {
  return Resample(false, dst, src, dst_rect, src_rect, dst_w, dst_h, src_w, src_h, dst_bytes_pp,
                  src_bytes_pp, dst_stride, src_stride);
}

int ResampleNearestMirrored(uint8_t* dst, const uint8_t* src, const Rect* dst_rect,
                            const Rect* src_rect, int dst_w, int dst_h, int src_w, int src_h,
                            int dst_bytes_pp, int src_bytes_pp, int dst_stride, int src_stride,
                            int /*p*/, int /*q*/) {
  return Resample(true, dst, src, dst_rect, src_rect, dst_w, dst_h, src_w, src_h, dst_bytes_pp,
                  src_bytes_pp, dst_stride, src_stride);
}

}  // namespace kt
