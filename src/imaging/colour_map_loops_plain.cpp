// The plain inner loops of the false-colour mapper: scalar code that any
// processor runs, and the reference the vector loops must match byte for byte.
#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/colour_map_loops.h"

namespace kt {
namespace {

// The row loop moves codes and pixels as whole machine words.
static_assert(std::endian::native == std::endian::little);

uint32_t LoadCode(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

// Four pixels are twelve bytes, written as one 64-bit and one 32-bit word
// (built in registers: assembling them in memory would defeat store
// forwarding); the pixels that remain go byte by byte.
void MapRow(const uint8_t* raw_row, uint8_t* colour_row, int32_t width, const uint32_t* table) {
  int32_t j = 0;
  for (; j + 4 <= width; j += 4) {
    uint64_t codes = 0;
    std::memcpy(&codes, raw_row + 2 * j, sizeof codes);
    const uint64_t p0 = table[codes & 0xFFFFu];
    const uint64_t p1 = table[(codes >> 16) & 0xFFFFu];
    const uint64_t p2 = table[(codes >> 32) & 0xFFFFu];
    const uint32_t p3 = table[codes >> 48];
    const uint64_t first = p0 | (p1 << 24) | (p2 << 48);
    const uint32_t second = static_cast<uint32_t>(p2 >> 16) | (p3 << 8);
    std::memcpy(colour_row + 3 * j, &first, sizeof first);
    std::memcpy(colour_row + 3 * j + 8, &second, sizeof second);
  }
  for (; j < width; ++j) {
    const uint32_t bgr = table[LoadCode(raw_row + 2 * j)];
    uint8_t* p = colour_row + 3 * j;
    p[0] = static_cast<uint8_t>(bgr);
    p[1] = static_cast<uint8_t>(bgr >> 8);
    p[2] = static_cast<uint8_t>(bgr >> 16);
  }
}

void MapFrame(const ColourFrame& frame, const uint32_t* table, uint32_t* minimum,
              uint32_t* maximum) {
  // Kept in locals: stores through the pointers could alias the frame's
  // fields and would keep the loop from being vectorized.
  const int32_t first_col = frame.first_col;
  const int32_t end_col = frame.end_col;
  uint32_t lowest = *minimum;
  uint32_t highest = *maximum;
  for (int32_t i = 0; i < frame.height; ++i) {
    const uint8_t* raw_row = frame.raw + i * frame.raw_stride;
    MapRow(raw_row, frame.colour + i * frame.colour_stride, frame.width, table);
    if (i < frame.first_row || i >= frame.end_row) continue;
    for (int32_t j = first_col; j < end_col; ++j) {
      const uint32_t code = LoadCode(raw_row + 2 * j);
      highest = std::max(highest, code);
      lowest = std::min(lowest, code);
    }
  }
  *minimum = lowest;
  *maximum = highest;
}

void FillRun(uint32_t* out, int32_t first_offset, int32_t count, float span, const uint32_t* bgr) {
  for (int32_t k = 0; k < count; ++k) {
    const float scaled = static_cast<float>(first_offset + k) * 360.0f;
    const float position = scaled / span;
    out[k] = bgr[std::min(static_cast<int32_t>(position), kPaletteSize - 1)];
  }
}

// Without byte permutes across a whole vector, computing each pixel costs more
// than reading the lookup.
bool MapFrameByWindow(const ColourFrame&, int32_t, int32_t, const uint32_t*, uint32_t*, uint32_t*) {
  return false;
}

}  // namespace

const ColourMapLoops& PlainColourMapLoops() {
  static constexpr ColourMapLoops kLoops{MapFrame, FillRun, MapFrameByWindow};
  return kLoops;
}

}  // namespace kt
