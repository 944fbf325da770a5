// The colour-mapping record of one instance: the palette, the window of raw
// codes spread over it and how the window follows the scene, and the mapper's
// cached lookup. The host changes the window through parameters 12 to 14 while
// the capture thread re-ranges it, so those fields are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>

#include "imaging/palette.h"

namespace kt {

// Every value a 16-bit raw code can take.
inline constexpr int kRawCodeCount = 65536;

struct ColourMapping {
  ColourMapping() : lookup(new (std::nothrow) uint32_t[kRawCodeCount]) { BuildPalette(palette); }
  ColourMapping(const ColourMapping&) = delete;
  ColourMapping& operator=(const ColourMapping&) = delete;

  // Colour of each palette index: red in bits 0-7, green 8-15, blue 16-23.
  // Guard: none needed; written only by the constructor, read-only after.
  uint32_t palette[kPaletteSize];
  // Negative: re-range after every frame; n > 0: for the next n frames; 0: fixed.
  // Guard: atomic (host parameter writes race the capture thread's decrement).
  std::atomic<int32_t> auto_range_count{-1};
  // Raw code at and above which a pixel is white. Guard: atomic.
  std::atomic<int32_t> high_bound{3000};
  // Raw code at and below which a pixel is black. Guard: atomic.
  std::atomic<int32_t> low_bound{1000};

  // The mapper's cache: the blue, green, red bytes (bits 0-7, 8-15, 16-23) of
  // every raw code under the window it was last brought up to date for, so a
  // frame costs one table read per pixel. Guard: lookup_busy. The mapper that
  // sets the flag owns `lookup` and the lookup_* fields below until it clears
  // it; a mapper that finds the flag set computes each pixel directly.
  std::atomic_flag lookup_busy;
  // Null when its memory could not be had; the mapper then computes directly.
  std::unique_ptr<uint32_t[]> lookup;
  // False until the whole table has been written once.
  bool lookup_valid = false;
  // The window the table holds: codes at or below lookup_black_through are
  // black, codes at or above lookup_white_from white, the rest from the palette.
  int64_t lookup_black_through = 0;
  int64_t lookup_white_from = 0;
};

}  // namespace kt
