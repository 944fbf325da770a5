#include "imaging/resample.h"

#include <cstdint>
#include <cstring>
#include <vector>

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

// Whether the bytes the copy reads and the bytes it writes may overlap. The
// shortcuts below reuse an output row or read a source row once per group of
// output rows, which gives the same pixels only when writing never changes
// what is read.
bool MayOverlap(const ImageView& dst, const ConstImageView& src) {
  const auto begin = [](const auto& view) { return reinterpret_cast<uintptr_t>(view.pixels); };
  const auto end = [&](const auto& view) {
    return begin(view) + static_cast<uintptr_t>(view.stride) * static_cast<uintptr_t>(view.height);
  };
  return begin(dst) < end(src) && begin(src) < end(dst);
}

// The shape of one output row, found from its column table: every output
// column j reads source byte offset offsets[j].
enum class RowShape { kGather, kCopy, kDoubled };

RowShape ShapeOf(const std::vector<int64_t>& offsets, int64_t src_bytes_pp, int64_t dst_bytes_pp) {
  if (src_bytes_pp != kCopiedBytes || dst_bytes_pp != kCopiedBytes) return RowShape::kGather;
  bool copy = true;
  bool doubled = true;
  for (size_t j = 0; j < offsets.size(); ++j) {
    const auto column = static_cast<int64_t>(j);
    copy = copy && offsets[j] == column * kCopiedBytes;
    doubled = doubled && offsets[j] == (column >> 1) * kCopiedBytes;
  }
  if (copy) return RowShape::kCopy;
  return doubled ? RowShape::kDoubled : RowShape::kGather;
}

// Writes every source pixel twice: `columns` output pixels from the first
// (columns + 1) / 2 source pixels, 3 bytes each. All but the last pair move
// as two 4-byte words: each word's fourth byte spills into the next pixel,
// which the next store overwrites, and the source word's fourth byte is the
// next source pixel's first, which exists for all but the last.
void DoubleRow(uint8_t* out, const uint8_t* in, int64_t columns) {
  const int64_t pairs = columns / 2;
  int64_t k = 0;
  for (; k + 1 < pairs; ++k) {
    uint32_t pixel = 0;
    std::memcpy(&pixel, in + 3 * k, sizeof pixel);
    std::memcpy(out + 6 * k, &pixel, sizeof pixel);
    std::memcpy(out + 6 * k + 3, &pixel, sizeof pixel);
  }
  for (; k < pairs; ++k) {
    std::memcpy(out + 6 * k, in + 3 * k, kCopiedBytes);
    std::memcpy(out + 6 * k + 3, in + 3 * k, kCopiedBytes);
  }
  if (columns % 2 != 0) std::memcpy(out + 6 * pairs, in + 3 * pairs, kCopiedBytes);
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

  // The source column of an output column depends on the column alone, so it
  // is computed once per call rather than once per pixel.
  std::vector<int64_t> offsets;
  try {
    offsets.resize(static_cast<size_t>(out_columns));
  } catch (...) {
    return false;
  }
  for (int64_t j = 0; j < out_columns; ++j) {
    offsets[static_cast<size_t>(j)] =
        Clamp(TruncatedProduct(j, horizontal), 0, src_w - 1) * src_bytes_pp;
  }
  const bool separate = !MayOverlap(dst, src);
  const RowShape shape =
      separate ? ShapeOf(offsets, src_bytes_pp, dst_bytes_pp) : RowShape::kGather;
  // A whole output row may be copied from the one above when it reads the
  // same source row; with deeper pixels that would also copy the fourth
  // bytes, which stay as they were.
  const bool reuse_rows = separate && dst_bytes_pp == kCopiedBytes;
  const size_t row_bytes = static_cast<size_t>(out_columns * kCopiedBytes);

  int64_t previous_source = -1;
  const uint8_t* previous_out = nullptr;
  for (int64_t i = 0; i < out_rows; ++i) {
    uint8_t* out = dst.pixels + (d.top + i) * dst_stride + int64_t{d.left} * dst_bytes_pp;
    const int64_t source = source_row(i);
    const uint8_t* row = src.pixels + source * src_stride;
    if (reuse_rows && previous_out != nullptr && source == previous_source) {
      std::memcpy(out, previous_out, row_bytes);
    } else if (shape == RowShape::kCopy) {
      std::memcpy(out, row, row_bytes);
    } else if (shape == RowShape::kDoubled) {
      DoubleRow(out, row, out_columns);
    } else {
      for (int64_t j = 0; j < out_columns; ++j) {
        std::memcpy(out + j * dst_bytes_pp, row + offsets[static_cast<size_t>(j)], kCopiedBytes);
      }
    }
    previous_source = source;
    previous_out = out;
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
