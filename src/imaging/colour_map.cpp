#include "imaging/colour_map.h"

#include "imaging/colour_map_loops.h"

#include <algorithm>
#include <cstddef>
#include <limits>

namespace kt {
namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
// The re-ranged window reaches this far beyond the central area's codes.
constexpr int32_t kRangeMargin = 120;
// Highest calibrated raw code; the re-ranged high bound never exceeds it.
constexpr int32_t kHighestCode = 16383;
// Start of the running minimum, above every raw code.
constexpr int32_t kMinimumStart = 100000;

// The window one frame is mapped with, widened to 64 bits so that differences
// of any two 32-bit bounds are exact.
struct Window {
  int64_t low;
  int64_t high;
};

// Palette entries keep red in the low byte; pixels want blue, green, red.
uint32_t PaletteToBgr(uint32_t entry) {
  const uint32_t red = entry & 0xFFu;
  const uint32_t green = (entry >> 8) & 0xFFu;
  const uint32_t blue = (entry >> 16) & 0xFFu;
  return blue | (green << 8) | (red << 16);
}

// The palette index of a code `offset` codes above the low bound of a window
// `span` codes wide: the single-precision quotient, truncated. For windows
// wider than 2^24 codes the float rounding can make it 360, hence the clamp.
int32_t PaletteIndex(float offset, float span) {
  const float scaled = offset * 360.0f;
  const float position = scaled / span;
  return std::min(static_cast<int32_t>(position), kPaletteSize - 1);
}

// The colour of raw code `code` under `window`, as blue, green, red in bits
// 0-7, 8-15, 16-23. A window with high at or below low never reaches the
// index.
uint32_t CodeColour(int64_t code, Window window, const uint32_t* palette) {
  if (code <= window.low) return kBlack;
  if (code >= window.high) return kWhite;
  const int32_t index = PaletteIndex(static_cast<float>(code - window.low),
                                     static_cast<float>(window.high - window.low));
  return PaletteToBgr(palette[index]);
}

uint32_t LoadCode(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

void StoreBgr(uint8_t* p, uint32_t bgr) {
  p[0] = static_cast<uint8_t>(bgr);
  p[1] = static_cast<uint8_t>(bgr >> 8);
  p[2] = static_cast<uint8_t>(bgr >> 16);
}

// Writes the lookup entries of codes first..last, all strictly inside an
// ordinary window. A window narrower than 2^31 codes (every one the
// auto-range makes) takes 32-bit offsets, which the row loops turn into
// vector conversions and divisions; converting the same integer to float
// rounds the same way whatever its width, so the entries are identical.
// The palette's colours as blue, green, red, padded for the vector loops.
struct PaletteColours {
  explicit PaletteColours(const uint32_t* palette) {
    for (int i = 0; i < kPaletteSize; ++i) bgr[i] = PaletteToBgr(palette[i]);
  }
  uint32_t bgr[kPaletteSize + kPaletteColoursPadding] = {};
};

void FillPaletteRun(const ColourMapLoops& loops, uint32_t* table, int64_t first, int64_t last,
                    Window window, const uint32_t* palette) {
  const PaletteColours colours(palette);
  const uint32_t* bgr = colours.bgr;
  const int64_t span = window.high - window.low;
  if (span > std::numeric_limits<int32_t>::max()) {
    for (int64_t code = first; code <= last; ++code)
      table[code] = CodeColour(code, window, palette);
    return;
  }
  const float span_float = static_cast<float>(span);
  const auto first_offset = static_cast<int32_t>(first - window.low);
  const auto count = static_cast<int32_t>(last - first + 1);
  loops.fill_run(table + first, first_offset, count, span_float, bgr);
}

// Brings the record's lookup up to date for `window`. Codes that are black
// under both the old and the new window, or white under both, keep their
// entries, so a window that moves a little rewrites only the codes between.
void UpdateLookup(const ColourMapLoops& loops, ColourMapping& record, Window window) {
  const int64_t black_through = window.low;
  // With high at or below low every code above low is white.
  const int64_t white_from = window.high > window.low ? window.high : window.low + 1;
  int64_t first = 0;
  int64_t last = kRawCodeCount - 1;
  if (record.lookup_valid) {
    if (black_through == record.lookup_black_through && white_from == record.lookup_white_from) {
      return;
    }
    first = std::max<int64_t>(std::min(black_through, record.lookup_black_through) + 1, 0);
    last = std::min<int64_t>(std::max(white_from, record.lookup_white_from) - 1, last);
  }
  uint32_t* table = record.lookup.get();
  const int64_t black_last = std::min(black_through, last);
  for (int64_t code = first; code <= black_last; ++code) table[code] = kBlack;
  const int64_t run_first = std::max(first, black_through + 1);
  const int64_t run_last = std::min(last, white_from - 1);
  if (run_first <= run_last)
    FillPaletteRun(loops, table, run_first, run_last, window, record.palette);
  for (int64_t code = std::max(first, white_from); code <= last; ++code) table[code] = kWhite;
  record.lookup_valid = true;
  record.lookup_black_through = black_through;
  record.lookup_white_from = white_from;
}

// The frame computed pixel by pixel, for a mapper that does not hold the
// lookup.
void MapFrameDirectly(const ColourFrame& frame, Window window, const uint32_t* palette) {
  for (int32_t i = 0; i < frame.height; ++i) {
    const uint8_t* raw_row = frame.raw + i * frame.raw_stride;
    uint8_t* colour_row = frame.colour + i * frame.colour_stride;
    for (int32_t j = 0; j < frame.width; ++j) {
      StoreBgr(colour_row + 3 * j, CodeColour(LoadCode(raw_row + 2 * j), window, palette));
    }
  }
}

// Lowers *minimum and raises *maximum to the extremes of the central area's
// codes, in a pass of their own.
void ScanCentralArea(const ColourFrame& frame, uint32_t* minimum, uint32_t* maximum) {
  // Kept in locals: stores through the pointers could alias the frame's
  // fields and would keep the loop from being vectorized.
  const int32_t first_col = frame.first_col;
  const int32_t end_col = frame.end_col;
  uint32_t lowest = *minimum;
  uint32_t highest = *maximum;
  for (int32_t i = frame.first_row; i < frame.end_row; ++i) {
    const uint8_t* raw_row = frame.raw + i * frame.raw_stride;
    for (int32_t j = first_col; j < end_col; ++j) {
      const uint32_t code = LoadCode(raw_row + 2 * j);
      highest = std::max(highest, code);
      lowest = std::min(lowest, code);
    }
  }
  *minimum = lowest;
  *maximum = highest;
}

// Maps the frame through the record's lookup, brought up to date for
// `window` first. The lookup belongs to whoever holds the flag; a mapper
// running at the same time on the same record computes its pixels directly.
void MapThroughLookup(const ColourMapLoops& loops, ColourMapping& record, Window window,
                      const ColourFrame& frame, uint32_t* minimum, uint32_t* maximum) {
  const bool own_lookup = !record.lookup_busy.test_and_set(std::memory_order_acquire);
  if (own_lookup && record.lookup) {
    UpdateLookup(loops, record, window);
    loops.map_frame(frame, record.lookup.get(), minimum, maximum);
  } else {
    MapFrameDirectly(frame, window, record.palette);
    ScanCentralArea(frame, minimum, maximum);
  }
  if (own_lookup) record.lookup_busy.clear(std::memory_order_release);
}

// Takes one step of the auto-range count: false when the count is 0 (the
// window stays), otherwise a positive count is decremented. A host write that
// lands between the read and the decrement is kept: the exchange then fails
// and the step is taken again from the host's value.
bool StepAutoRange(std::atomic<int32_t>& count) {
  int32_t current = count.load();
  for (;;) {
    if (current == 0) return false;
    if (current < 0) return true;
    if (count.compare_exchange_weak(current, current - 1)) return true;
  }
}

}  // namespace

bool MapFrameToColourWith(const ColourMapLoops& loops, ColourMapping& record,
                          const CDibSurface& raw, uint8_t* colour_pixels, int colour_stride) {
  if (raw.empty() || raw.bits_per_pixel() != 16 || colour_pixels == nullptr) return false;
  const int32_t width = raw.width();
  const int32_t height = raw.height();
  if (width <= 0 || height <= 0) return false;
  if (static_cast<int64_t>(colour_stride) < static_cast<int64_t>(width) * 3) return false;

  const Window window{record.low_bound.load(), record.high_bound.load()};

  // The codes that steer the window: those strictly inside the outer
  // twelfths of the height and sixteenths of the width.
  const ColourFrame frame{
      raw.pixels(),    raw.stride(),
      colour_pixels,   colour_stride,
      width,           height,
      height / 12 + 1, static_cast<int32_t>(static_cast<int64_t>(height) * 11 / 12),
      width / 16 + 1,  static_cast<int32_t>(static_cast<int64_t>(width) * 15 / 16)};
  // Their extremes are only needed when the window follows the scene; with the
  // auto-range count 0 the mapping skips them (an empty central area), and a
  // host that sets the count while the frame is mapped gets them from a second
  // pass below.
  const bool extremes_found = record.auto_range_count.load() != 0;
  ColourFrame mapped = frame;
  if (!extremes_found) mapped.end_row = mapped.first_row;
  uint32_t running_max = 0;
  uint32_t running_min = kMinimumStart;
  // A window inside the codes' range may be mapped without the lookup where
  // the loops compute pixels faster than they read it.
  const bool ordinary_window =
      window.low >= 0 && window.low < window.high && window.high < kRawCodeCount;
  if (!ordinary_window ||
      !loops.map_frame_by_window(mapped, static_cast<int32_t>(window.low),
                                 static_cast<int32_t>(window.high),
                                 PaletteColours(record.palette).bgr, &running_min, &running_max)) {
    MapThroughLookup(loops, record, window, mapped, &running_min, &running_max);
  }

  if (!StepAutoRange(record.auto_range_count)) return true;
  if (!extremes_found) ScanCentralArea(frame, &running_min, &running_max);
  record.high_bound.store(std::min(static_cast<int32_t>(running_max) + kRangeMargin, kHighestCode));
  record.low_bound.store(std::max(static_cast<int32_t>(running_min) - kRangeMargin, 0));
  return true;
}

bool MapFrameToColour(ColourMapping& record, const CDibSurface& raw, uint8_t* colour_pixels,
                      int colour_stride) {
  return MapFrameToColourWith(FastestColourMapLoops(), record, raw, colour_pixels, colour_stride);
}

}  // namespace kt
