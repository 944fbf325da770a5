// The records that pixel converters work on. A converter brings the pixels of
// one image into the sample layout of another (for example a bitmap surface
// into the rows an image encoder accepts); each side is described by an image
// descriptor, and an options record tunes the conversion.
#pragma once

#include <cstdint>

namespace kt {

// A rectangle in pixels: columns left to right - 1, rows top to bottom - 1.
struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// Size recorded in every image descriptor: the record's size on the 32-bit
// target. Converters refuse descriptors that claim less.
inline constexpr int32_t kImageDescriptorSize = 40;

// One side of a conversion.
struct ImageDescriptor {
  int32_t size;            // kImageDescriptorSize
  int32_t width;           // pixels per row
  int32_t height;          // rows
  int32_t stride;          // bytes per stored row
  int32_t bits_per_pixel;  // sample depth of a whole pixel
  uint8_t* pixels;         // first stored row
  Rect rect;               // the area converted
};
static_assert(sizeof(ImageDescriptor) >= kImageDescriptorSize);

// Kinds of converter options.
inline constexpr int32_t kConverterOptionsDefaults = 1;
inline constexpr int32_t kConverterOptionsExplicit = 10;
inline constexpr int32_t kConverterOptionsSize = 12;

struct ConverterOptions {
  int32_t size;   // bytes of the record; explicit options need at least 12
  int32_t kind;   // kConverterOptionsDefaults or kConverterOptionsExplicit
  int32_t value;  // unused by the library's converters
};
static_assert(sizeof(ConverterOptions) == kConverterOptionsSize);

// The record passed when a caller gives no options.
inline constexpr ConverterOptions kDefaultConverterOptions{kConverterOptionsSize,
                                                           kConverterOptionsDefaults, 0};

// Converts `src` into `dst`; returns 0 on success or a nonzero code, leaving
// `dst` untouched. `p` and `q` are passed through from the caller.
using PixelConverter = int (*)(const ImageDescriptor* dst, const ImageDescriptor* src,
                               const ConverterOptions* options, int p, int q);

}  // namespace kt
