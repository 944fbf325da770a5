#include "imaging/pixel_converters.h"

#include <algorithm>
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
int CheckArguments(const ImageDescriptor* dst, const ImageDescriptor* src,
                   const ConverterOptions* options) {
  if (dst == nullptr || src == nullptr || options == nullptr) return kConverterMissingArgs;
  if (dst->size < kImageDescriptorSize || src->size < kImageDescriptorSize) {
    return kConverterRecordTooSmall;
  }
  if (options->kind == kConverterOptionsExplicit && options->size < kConverterOptionsSize) {
    return kConverterRecordTooSmall;
  }
  if (options->kind != kConverterOptionsDefaults && options->kind != kConverterOptionsExplicit) {
    return kConverterBadOptionsKind;
  }
  if (const int code = ValidateDescriptor(dst); code != 0) return code;
  return ValidateDescriptor(src);
}

// The part of both rectangles that a conversion covers.
struct Extent {
  int32_t rows;
  int32_t pixels;
};

Extent CommonExtent(const ImageDescriptor& dst, const ImageDescriptor& src) {
  return Extent{std::min(dst.rect.bottom - dst.rect.top, src.rect.bottom - src.rect.top),
                std::min(dst.rect.right - dst.rect.left, src.rect.right - src.rect.left)};
}

uint8_t* RowAt(const ImageDescriptor& image, int32_t row) {
  return image.pixels + static_cast<ptrdiff_t>(row) * image.stride;
}

// First byte of the rectangle's left pixel in stored row `row`.
uint8_t* PixelAt(const ImageDescriptor& image, int32_t row) {
  return RowAt(image, row) + static_cast<ptrdiff_t>(image.rect.left) * (image.bits_per_pixel / 8);
}

// Runs `convert_pixel(dst_pixel, src_pixel)` over the common extent. With
// `reverse_rows` destination row top + i takes source row bottom - 1 - i,
// otherwise source row top + i.
template <int kDstBytes, int kSrcBytes, typename PixelFunction>
void ForEachPixel(const ImageDescriptor& dst, const ImageDescriptor& src, bool reverse_rows,
                  PixelFunction convert_pixel) {
  const Extent extent = CommonExtent(dst, src);
  for (int32_t i = 0; i < extent.rows; ++i) {
    uint8_t* out = PixelAt(dst, dst.rect.top + i);
    const uint8_t* in = PixelAt(src, reverse_rows ? src.rect.bottom - 1 - i : src.rect.top + i);
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

constexpr int kKeepOne[1] = {0};
constexpr int kKeepThree[3] = {0, 1, 2};
constexpr int kKeepFour[4] = {0, 1, 2, 3};
constexpr int kRedFirstThree[3] = {2, 1, 0};
constexpr int kRedFirstFour[4] = {2, 1, 0, 3};

}  // namespace

int ValidateDescriptor(const ImageDescriptor* descriptor) {
  if (descriptor == nullptr) return kConverterMissingArgs;
  const ImageDescriptor& d = *descriptor;
  if (d.width <= 0) return kDescriptorNoWidth;
  if (d.height <= 0) return kDescriptorNoHeight;
  if (d.stride <= 0) return kDescriptorBadStride;
  if (d.bits_per_pixel <= 0) return kDescriptorNoDepth;
  // A stride shorter than a row would let a row run into the next one, and
  // past the memory on the last row.
  if (int64_t{d.width} * (d.bits_per_pixel / 8) > d.stride) return kDescriptorBadStride;
  if (d.pixels == nullptr) return kDescriptorNoPixels;
  const Rect& r = d.rect;
  const bool valid = r.left >= 0 && r.top >= 0 && r.right > 0 && r.bottom > 0 && r.left < d.width &&
                     r.right <= d.width && r.top < d.height && r.bottom <= d.height &&
                     r.left < r.right && r.top < r.bottom;
  return valid ? 0 : kDescriptorBadRect;
}

int ConvertForJpeg(const ImageDescriptor* dst, const ImageDescriptor* src,
                   const ConverterOptions* options, int /*p*/, int /*q*/) {
  if (const int code = CheckArguments(dst, src, options); code != 0) return code;
  const int to = dst->bits_per_pixel;
  switch (src->bits_per_pixel) {
    case 16:
      if (to != 8) return kConverterUnsupportedDepth;
      ForEachPixel<1, 2>(*dst, *src, false,
                         [](uint8_t* out, const uint8_t* in) { out[0] = Narrow(Load16(in)); });
      return 0;
    case 32:
      if (to != 24) return kConverterUnsupportedDepth;
      ForEachPixel<3, 4>(*dst, *src, false,
                         [](uint8_t* out, const uint8_t* in) { std::memcpy(out, in, 3); });
      return 0;
    case 48:
      if (to != 24) return kConverterUnsupportedDepth;
      ForEachPixel<3, 6>(*dst, *src, false, [](uint8_t* out, const uint8_t* in) {
        for (int s = 0; s < 3; ++s) out[s] = Narrow(Load16(in + 2 * s));
      });
      return 0;
    case 64:
      if (to != 24) return kConverterUnsupportedDepth;
      ForEachPixel<3, 8>(*dst, *src, false, [](uint8_t* out, const uint8_t* in) {
        for (int s = 0; s < 3; ++s) out[s] = Narrow(Load16(in + 2 * s));
      });
      return 0;
    default:
      return kConverterUnsupportedDepth;
  }
}

int ConvertForPng(const ImageDescriptor* dst, const ImageDescriptor* src,
                  const ConverterOptions* options, int /*p*/, int /*q*/) {
  if (const int code = CheckArguments(dst, src, options); code != 0) return code;
  if (dst->bits_per_pixel != src->bits_per_pixel) return kConverterUnsupportedDepth;
  switch (src->bits_per_pixel) {
    case 16:
      ForEachPixel<2, 2>(*dst, *src, false, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<1>(out, in, kKeepOne);
      });
      return 0;
    case 48:
      ForEachPixel<6, 6>(*dst, *src, false, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<3>(out, in, kKeepThree);
      });
      return 0;
    case 64:
      ForEachPixel<8, 8>(*dst, *src, false, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<4>(out, in, kKeepFour);
      });
      return 0;
    default:
      return kConverterUnsupportedDepth;
  }
}

int ConvertForTiff(const ImageDescriptor* dst, const ImageDescriptor* src,
                   const ConverterOptions* options, int /*p*/, int /*q*/) {
  if (const int code = CheckArguments(dst, src, options); code != 0) return code;
  if (dst->bits_per_pixel != src->bits_per_pixel) return kConverterUnsupportedDepth;
  switch (src->bits_per_pixel) {
    case 8: {
      // Grey rows are copied whole, padding included, as far as both reach.
      const int32_t rows = CommonExtent(*dst, *src).rows;
      const size_t bytes = static_cast<size_t>(std::min(dst->stride, src->stride));
      for (int32_t i = 0; i < rows; ++i) {
        std::memcpy(RowAt(*dst, dst->rect.top + i), RowAt(*src, src->rect.bottom - 1 - i), bytes);
      }
      return 0;
    }
    case 16:
      ForEachPixel<2, 2>(*dst, *src, true, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<1>(out, in, kKeepOne);
      });
      return 0;
    case 24: {
      // A whole row at a time: the swap is the save's main cost after the
      // encoder, and a row is long enough for the vectorised path.
      const Extent extent = CommonExtent(*dst, *src);
      for (int32_t i = 0; i < extent.rows; ++i) {
        CopySwappingBlueAndRed(PixelAt(*dst, dst->rect.top + i),
                               PixelAt(*src, src->rect.bottom - 1 - i), extent.pixels);
      }
      return 0;
    }
    case 32:
      ForEachPixel<4, 4>(*dst, *src, true, [](uint8_t* out, const uint8_t* in) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      });
      return 0;
    case 48:
      ForEachPixel<6, 6>(*dst, *src, true, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<3>(out, in, kRedFirstThree);
      });
      return 0;
    case 64:
      ForEachPixel<8, 8>(*dst, *src, true, [](uint8_t* out, const uint8_t* in) {
        WidenSamples<4>(out, in, kRedFirstFour);
      });
      return 0;
    default:
      return kConverterUnsupportedDepth;
  }
}

}  // namespace kt
