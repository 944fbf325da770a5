// The pixel converters behind the still-image encoders. Each brings a bitmap
// surface's pixels into the sample layout that one image library accepts:
// JPEG takes 8-bit grey or 24-bit colour, PNG wants 16-bit samples scaled from
// the sensor's 14 significant bits to the 16-bit range, and TIFF wants top-down
// rows with red first.
//
// All of them have the PixelConverter signature. They return 0 on success or a
// nonzero code, leaving the destination untouched:
//   1  a descriptor or the options record is missing
//   3  a descriptor's size is below kImageDescriptorSize, or explicit options
//      are below kConverterOptionsSize bytes
//   2  the options kind is neither defaults nor explicit
//   4..9  ValidateDescriptor on the destination, then on the source
//   7  a depth combination the converter does not handle
// They process min(source, destination) rectangle rows and pixels per row,
// starting at each rectangle's left column and top row. Any thread may call
// them.
//
// Every 16-bit sample is a sensor code of 14 significant bits (0..16383).
// Widening shifts it left by 2, which keeps every code: the file holds
// 0..65532 and value >> 2 is the code. Narrowing to 8 bits keeps the top 8 of
// the 14 bits (code >> 6). Samples above 16383 count as 16383, so neither
// direction wraps.
#pragma once

#include <cstdint>

#include "imaging/pixel_converter.h"

namespace kt {

// Significant bits of every 16-bit sample, and the largest code they hold.
inline constexpr int kSignificantSampleBits = 14;
inline constexpr uint32_t kMaxSampleCode = (1u << kSignificantSampleBits) - 1;
// Left shift from a code to the 16-bit range, right shift to 8 bits.
inline constexpr int kWidenShift = 16 - kSignificantSampleBits;
inline constexpr int kNarrowShift = kSignificantSampleBits - 8;

// Codes of ValidateDescriptor (0 for a usable descriptor).
inline constexpr int kDescriptorNoWidth = 4;    // width 0 or negative
inline constexpr int kDescriptorNoHeight = 5;   // height 0 or negative
inline constexpr int kDescriptorBadStride = 6;  // stride 0, negative or shorter than a row
inline constexpr int kDescriptorNoDepth = 7;    // bits per pixel 0 or negative
inline constexpr int kDescriptorNoPixels = 8;   // no pixel memory
inline constexpr int kDescriptorBadRect = 9;    // rectangle empty or outside the image
inline constexpr int kConverterMissingArgs = 1;
inline constexpr int kConverterBadOptionsKind = 2;
inline constexpr int kConverterRecordTooSmall = 3;
inline constexpr int kConverterUnsupportedDepth = 7;

// Checks one side of a conversion; the codes above, first failing check wins
// in that order.
int ValidateDescriptor(const ImageDescriptor* descriptor);

// 16-bit codes to 8-bit grey (code >> 6); 32-bit to 24-bit (the fourth byte
// dropped); 48- and 64-bit to 24-bit (each of the first three samples >> 6).
// Rows keep their order.
int ConvertForJpeg(const ImageDescriptor* dst, const ImageDescriptor* src,
                   const ConverterOptions* options, int p, int q);

// 16-, 48- and 64-bit samples shifted left by 2 into a destination of the same
// depth. Rows keep their order.
int ConvertForPng(const ImageDescriptor* dst, const ImageDescriptor* src,
                  const ConverterOptions* options, int p, int q);

// Same depth in and out (8..64 bits). Rows are reversed so that the first
// destination row is the picture's top row; colour pixels become red first;
// 16-bit samples are shifted left by 2.
int ConvertForTiff(const ImageDescriptor* dst, const ImageDescriptor* src,
                   const ConverterOptions* options, int p, int q);

}  // namespace kt
