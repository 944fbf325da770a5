#include "imaging/pixel_converters.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/channel_swap.h"

namespace kt {
namespace {

uint16_t Load16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

void Store16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

// A sample as a code of the sensor's range: codes above it (never delivered by
// the sensor) saturate instead of wrapping, so no sample can pass for a lower one.
uint32_t InRange(uint16_t sample) { return std::min<uint32_t>(sample, kMaxSampleCode); }
// The 14 significant bits of a code scaled to the 16-bit range without loss:
// 16383 becomes 65532, and the value shifted right by 2 gives the code back.
uint32_t Widen(uint16_t sample) { return InRange(sample) << kWidenShift; }
// The top 8 of the 14 significant bits of a code.
uint8_t Narrow(uint16_t sample) { return static_cast<uint8_t>(InRange(sample) >> kNarrowShift); }

// The checks every converter makes before it looks at depths.
bool BothUsable(const ImageView& dst, const ConstImageView& src) {
  return IsUsableView(AsConst(dst)) && IsUsableView(src);
}

// The part of both views that a conversion covers.
struct Extent {
  int32_t rows;
  int32_t pixels;
};

Extent CommonExtent(const ImageView& dst, const ConstImageView& src) {
  return Extent{std::min(dst.height, src.height), std::min(dst.width, src.width)};
}

template <typename Byte>
Byte* RowAt(const BasicImageView<Byte>& image, int32_t row) {
  return image.pixels + static_cast<ptrdiff_t>(row) * image.stride;
}

// The source row that destination row `i` takes: the same picture row.
int32_t SourceRow(const ImageView& dst, const ConstImageView& src, int32_t i) {
  return dst.rows == src.rows ? i : src.height - 1 - i;
}

// Runs `convert_pixel(dst_pixel, src_pixel)` over the common extent, row by
// row as SourceRow pairs them.
template <int kDstBytes, int kSrcBytes, typename PixelFunction>
void ForEachPixel(const ImageView& dst, const ConstImageView& src, PixelFunction convert_pixel) {
  const Extent extent = CommonExtent(dst, src);
  for (int32_t i = 0; i < extent.rows; ++i) {
    uint8_t* out = RowAt(dst, i);
    const uint8_t* in = RowAt(src, SourceRow(dst, src, i));
    for (int32_t j = 0; j < extent.pixels; ++j) {
      convert_pixel(out, in);
      out += kDstBytes;
      in += kSrcBytes;
    }
  }
}

// Each of `kSamples` 16-bit samples widened, with `order` naming the source
// sample that lands in each destination position.
template <int kSamples>
void WidenSamples(uint8_t* out, const uint8_t* in, const int (&order)[kSamples]) {
  for (int s = 0; s < kSamples; ++s) Store16(out + 2 * s, Widen(Load16(in + 2 * order[s])));
}

// The grey case of WidenSamples for a whole row of `count` samples, in a form
// the compiler turns into vector code (samples moved through 16-bit words,
// which hold them least significant byte first as the surfaces do).
static_assert(std::endian::native == std::endian::little);
void WidenRow(uint8_t* out, const uint8_t* in, int32_t count) {
  constexpr int32_t kBlock = 64;
  uint16_t samples[kBlock];
  for (int32_t done = 0; done < count; done += kBlock) {
    const int32_t n = std::min(kBlock, count - done);
    std::memcpy(samples, in + 2 * done, 2 * static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) samples[k] = static_cast<uint16_t>(Widen(samples[k]));
    std::memcpy(out + 2 * done, samples, 2 * static_cast<size_t>(n));
  }
}

// Every row of a 16-bit grey surface widened.
void WidenGreyRows(const ImageView& dst, const ConstImageView& src) {
  const Extent extent = CommonExtent(dst, src);
  for (int32_t i = 0; i < extent.rows; ++i) {
    WidenRow(RowAt(dst, i), RowAt(src, SourceRow(dst, src, i)), extent.pixels);
  }
}

constexpr int kKeepThree[3] = {0, 1, 2};
constexpr int kKeepFour[4] = {0, 1, 2, 3};
constexpr int kRedFirstThree[3] = {2, 1, 0};
constexpr int kRedFirstFour[4] = {2, 1, 0, 3};

}  // namespace

bool IsUsableView(const ConstImageView& view) {
  if (view.pixels == nullptr || view.width <= 0 || view.height <= 0 || view.stride <= 0 ||
      view.bits_per_pixel <= 0) {
    return false;
  }
  // A stride shorter than a row would let a row run into the next one, and
  // past the memory on the last row.
  return int64_t{view.width} * (view.bits_per_pixel / 8) <= view.stride;
}

bool ConvertForJpeg(const ImageView& dst, const ConstImageView& src) {
  if (!BothUsable(dst, src)) return false;
  const int to = dst.bits_per_pixel;
  switch (src.bits_per_pixel) {
    case 16:
      if (to != 8) return false;
      ForEachPixel<1, 2>(dst, src,
                         [](uint8_t* out, const uint8_t* in) { out[0] = Narrow(Load16(in)); });
      return true;
    case 32:
      if (to != 24) return false;
      ForEachPixel<3, 4>(dst, src,
                         [](uint8_t* out, const uint8_t* in) { std::memcpy(out, in, 3); });
      return true;
    case 48:
      if (to != 24) return false;
      ForEachPixel<3, 6>(dst, src, [](uint8_t* out, const uint8_t* in) {
        for (int s = 0; s < 3; ++s) out[s] = Narrow(Load16(in + 2 * s));
      });
      return true;
    case 64:
      if (to != 24) return false;
      ForEachPixel<3, 8>(dst, src, [](uint8_t* out, const uint8_t* in) {
        for (int s = 0; s < 3; ++s) out[s] = Narrow(Load16(in + 2 * s));
      });
      return true;
    default:
      return false;
  }
}

bool ConvertForPng(const ImageView& dst, const ConstImageView& src) {
  if (!BothUsable(dst, src)) return false;
  if (dst.bits_per_pixel != src.bits_per_pixel) return false;
  switch (src.bits_per_pixel) {
    case 16:
      WidenGreyRows(dst, src);
      return true;
    case 48:
      ForEachPixel<6, 6>(
          dst, src, [](uint8_t* out, const uint8_t* in) { WidenSamples<3>(out, in, kKeepThree); });
      return true;
    case 64:
      ForEachPixel<8, 8>(
          dst, src, [](uint8_t* out, const uint8_t* in) { WidenSamples<4>(out, in, kKeepFour); });
      return true;
    default:
      return false;
  }
}

bool ConvertForTiff(const ImageView& dst, const ConstImageView& src) {
  if (!BothUsable(dst, src)) return false;
  if (dst.bits_per_pixel != src.bits_per_pixel) return false;
  switch (src.bits_per_pixel) {
    case 8: {
      // Grey pixels are bytes: a row at a time. Only the pixels, never the
      // padding after them, which belongs to a part view's parent image; the
      // TIFF writer drops the scratch surface's padding before writing.
      const Extent extent = CommonExtent(dst, src);
      for (int32_t i = 0; i < extent.rows; ++i) {
        std::memcpy(RowAt(dst, i), RowAt(src, SourceRow(dst, src, i)),
                    static_cast<size_t>(extent.pixels));
      }
      return true;
    }
    case 16:
      WidenGreyRows(dst, src);
      return true;
    case 24: {
      // A whole row at a time: the swap is the save's main cost after the
      // encoder, and a row is long enough for the vectorised path.
      const Extent extent = CommonExtent(dst, src);
      for (int32_t i = 0; i < extent.rows; ++i) {
        CopySwappingBlueAndRed(RowAt(dst, i), RowAt(src, SourceRow(dst, src, i)), extent.pixels);
      }
      return true;
    }
    case 32:
      ForEachPixel<4, 4>(dst, src, [](uint8_t* out, const uint8_t* in) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      });
      return true;
    case 48:
      ForEachPixel<6, 6>(dst, src, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<3>(out, in, kRedFirstThree);
      });
      return true;
    case 64:
      ForEachPixel<8, 8>(dst, src, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<4>(out, in, kRedFirstFour);
      });
      return true;
    default:
      return false;
  }
}

}  // namespace kt
