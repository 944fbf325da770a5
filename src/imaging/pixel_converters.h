// The pixel converters behind the still-image encoders. Each brings a bitmap
// surface's pixels into the sample layout that one image library accepts:
// JPEG takes 8-bit grey or 24-bit colour, PNG wants 16-bit samples scaled from
// the sensor's 14 significant bits to the 16-bit range, and TIFF wants top-down
// rows with red first.
//
// All of them have the PixelConverter signature. They return false, leaving
// the destination untouched, when either view is unusable (IsUsableView) or
// the converter does not handle the pair of depths; the writers only need to
// know whether the destination is ready. They process min(source,
// destination) rows and pixels per row from each view's first stored row and
// first pixel. When the two views' row orders differ, destination row i takes
// source row (source height - 1 - i), which turns a picture of equal height
// around so that every picture row keeps its place; otherwise row i takes row
// i. Any thread may call them.
//
// Every 16-bit sample is a sensor code of 14 significant bits (0..16383).
// Widening shifts it left by 2, which keeps every code: the file holds
// 0..65532 and value >> 2 is the code. Narrowing to 8 bits keeps the top 8 of
// the 14 bits (code >> 6). Samples above 16383 count as 16383, so neither
// direction wraps.
#pragma once

#include <cstdint>

#include "imaging/image_view.h"

namespace kt {

// Significant bits of every 16-bit sample, and the largest code they hold.
inline constexpr int kSignificantSampleBits = 14;
inline constexpr uint32_t kMaxSampleCode = (1u << kSignificantSampleBits) - 1;
// Left shift from a code to the 16-bit range, right shift to 8 bits.
inline constexpr int kWidenShift = 16 - kSignificantSampleBits;
inline constexpr int kNarrowShift = kSignificantSampleBits - 8;

// Converts `src` into `dst`; false, leaving `dst` untouched, when it cannot.
using PixelConverter = bool (*)(const ImageView& dst, const ConstImageView& src);

// A view a converter can read or write: pixel memory, a positive width,
// height and depth, and a stride that holds a whole row.
bool IsUsableView(const ConstImageView& view);

// 16-bit codes to 8-bit grey (code >> 6); 32-bit to 24-bit (the fourth byte
// dropped); 48- and 64-bit to 24-bit (each of the first three samples >> 6).
bool ConvertForJpeg(const ImageView& dst, const ConstImageView& src);

// 16-, 48- and 64-bit samples shifted left by 2 into a destination of the same
// depth.
bool ConvertForPng(const ImageView& dst, const ConstImageView& src);

// Same depth in and out (8..64 bits). Colour pixels become red first; 16-bit
// samples are shifted left by 2. The TIFF writer passes a top-down
// destination, so the rows come out in file order.
bool ConvertForTiff(const ImageView& dst, const ConstImageView& src);

}  // namespace kt
