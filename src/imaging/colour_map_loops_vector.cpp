// The vector inner loops of the false-colour mapper, compiled once per
// instruction set Highway targets; the best one this processor runs is chosen
// at the first call. Each gives exactly the bytes of the plain loops, which
// also finish what a whole vector does not cover.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/colour_map_loops_vector.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
// Highway's foreach_target must come before highway.h.
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

#include "imaging/colour_map_loops.h"

HWY_BEFORE_NAMESPACE();
namespace kt {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Emulated and single-lane targets only stand in for processors without a
// vector unit the others use: they take the plain loops.
#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

void MapFrame(const ColourFrame& frame, const uint32_t* table, uint32_t* minimum,
              uint32_t* maximum) {
  PlainColourMapLoops().map_frame(frame, table, minimum, maximum);
}
void FillRun(uint32_t* out, int32_t first_offset, int32_t count, float span, const uint32_t* bgr) {
  PlainColourMapLoops().fill_run(out, first_offset, count, span, bgr);
}

#else

// Vectors are capped at 256 bits: on the processors we measured, the wider
// permutes cost more than they save here.
constexpr size_t kMaxLanes32 = 8;

// Loads the table entries of four codes, read as one 64-bit word, into
// staged[0..3].
HWY_INLINE void StageFour(const uint8_t* codes, const uint32_t* table, uint32_t* staged) {
  uint64_t four = 0;
  std::memcpy(&four, codes, sizeof four);
  staged[0] = table[four & 0xFFFFu];
  staged[1] = table[(four >> 16) & 0xFFFFu];
  staged[2] = table[(four >> 32) & 0xFFFFu];
  staged[3] = table[four >> 48];
}

// The table entries are read with ordinary loads and staged in a small
// buffer: the gather instruction is slower on the processors we measured.
// Each 16-byte block of the loaded vector then moves its four pixels' twelve
// colour bytes to its front, and the blocks' three leading words are packed
// together. A 128-bit vector is stored whole, its last quarter overwritten by
// the next store, so that loop stops while the quarter still lies inside the
// row.
HWY_INLINE void MapRow(const uint8_t* raw_row, uint8_t* colour_row, int32_t width,
                       const uint32_t* table) {
  const hn::CappedTag<uint32_t, kMaxLanes32> d32;
  const hn::Repartition<uint8_t, decltype(d32)> d8;
  constexpr int32_t kLanes = static_cast<int32_t>(hn::MaxLanes(d32));
  static_assert(kLanes % 4 == 0);

  alignas(16) static constexpr uint8_t kBlockFront[16] = {0,  1,  2,  4,  5, 6, 8,  9,
                                                          10, 12, 13, 14, 3, 7, 11, 15};
  const auto block_front = hn::LoadDup128(d8, kBlockFront);
  alignas(32) int32_t word_order[kLanes];
  for (int32_t k = 0; k < kLanes; ++k) {
    // Word k of the output is word k % 3 of block k / 3; the last quarter's
    // words are don't-care and repeat the first ones.
    const int32_t packed = k < kLanes / 4 * 3 ? k : k - kLanes / 4 * 3;
    word_order[k] = packed / 3 * 4 + packed % 3;
  }
  const auto order = hn::SetTableIndices(d32, word_order);

  alignas(32) uint32_t staged[kLanes];
  const auto pack = [&](int32_t j) {
    for (int32_t k = 0; k < kLanes; k += 4) StageFour(raw_row + 2 * (j + k), table, staged + k);
    const auto pixels = hn::BitCast(d8, hn::Load(d32, staged));
    const auto fronted = hn::BitCast(d32, hn::TableLookupBytes(pixels, block_front));
    return hn::BitCast(d8, hn::TableLookupLanes(fronted, order));
  };
  int32_t j = 0;
  if constexpr (kLanes == 8) {
    const hn::Half<decltype(d8)> dh;
    const hn::Half<decltype(dh)> dq;
    // Each vector's 24 bytes go as one 16-byte and one 8-byte store: a
    // 32-byte store at a 24-byte stride would straddle a cache line every
    // third time.
    for (; j + kLanes <= width; j += kLanes) {
      const auto v = pack(j);
      hn::StoreU(hn::LowerHalf(dh, v), dh, colour_row + 3 * j);
      hn::StoreU(hn::LowerHalf(dq, hn::UpperHalf(dh, v)), dq, colour_row + 3 * j + 16);
    }
  }
  for (; 3 * j + 4 * kLanes <= 3 * width; j += kLanes) hn::StoreU(pack(j), d8, colour_row + 3 * j);
  // A last whole vector of pixels goes through a buffer, so that nothing past
  // the row is written.
  if (j + kLanes <= width) {
    alignas(32) uint8_t packed[4 * kLanes];
    hn::Store(pack(j), d8, packed);
    std::memcpy(colour_row + 3 * j, packed, 3 * kLanes);
    j += kLanes;
  }
  for (; j < width; ++j) {
    const uint32_t bgr = table[raw_row[2 * j] | (raw_row[2 * j + 1] << 8u)];
    std::memcpy(colour_row + 3 * j, &bgr, 3);
  }
}

// The extremes of the central rectangle are kept per lane across its rows and
// reduced once at the end. A row of the rectangle narrower than a vector is
// scanned code by code.
void MapFrame(const ColourFrame& frame, const uint32_t* table, uint32_t* minimum,
              uint32_t* maximum) {
  const hn::CappedTag<uint16_t, 2 * kMaxLanes32> d16;
  const int32_t lanes = static_cast<int32_t>(hn::Lanes(d16));
  const int32_t first = frame.first_col;
  const int32_t end = frame.end_col;
  const bool by_vector = end - first >= lanes;
  auto lowest = hn::Set(d16, 0xFFFF);
  auto highest = hn::Zero(d16);
  auto lowest_odd = lowest;
  auto highest_odd = highest;
  bool seen = false;
  for (int32_t i = 0; i < frame.height; ++i) {
    const uint8_t* raw_row = frame.raw + i * frame.raw_stride;
    MapRow(raw_row, frame.colour + i * frame.colour_stride, frame.width, table);
    if (i < frame.first_row || i >= frame.end_row) continue;
    if (!by_vector) {
      for (int32_t j = first; j < end; ++j) {
        const uint32_t code = raw_row[2 * j] | (raw_row[2 * j + 1] << 8);
        *minimum = std::min(*minimum, code);
        *maximum = std::max(*maximum, code);
      }
      continue;
    }
    const auto* codes = reinterpret_cast<const uint16_t*>(raw_row);
    seen = true;
    int32_t j = first;
    // Two vectors a step, each with its own extremes, so that the steps do
    // not wait on each other.
    for (; j + 2 * lanes <= end; j += 2 * lanes) {
      const auto v0 = hn::LoadU(d16, codes + j);
      const auto v1 = hn::LoadU(d16, codes + j + lanes);
      lowest = hn::Min(lowest, v0);
      highest = hn::Max(highest, v0);
      lowest_odd = hn::Min(lowest_odd, v1);
      highest_odd = hn::Max(highest_odd, v1);
    }
    for (; j + lanes <= end; j += lanes) {
      const auto v = hn::LoadU(d16, codes + j);
      lowest = hn::Min(lowest, v);
      highest = hn::Max(highest, v);
    }
    // The last vector overlaps the previous one; a code seen twice does not
    // change an extreme.
    const auto v = hn::LoadU(d16, codes + end - lanes);
    lowest = hn::Min(lowest, v);
    highest = hn::Max(highest, v);
  }
  if (!seen) return;
  lowest = hn::Min(lowest, lowest_odd);
  highest = hn::Max(highest, highest_odd);
  *minimum = std::min<uint32_t>(*minimum, hn::GetLane(hn::MinOfLanes(d16, lowest)));
  *maximum = std::max<uint32_t>(*maximum, hn::GetLane(hn::MaxOfLanes(d16, highest)));
}

// The palette index of each code in single precision, exactly as the plain
// loop computes it (same conversions, same two roundings). The indices rise
// with the code, so a vector's indices usually lie within one vector's width
// of its first: its colours are then one permute of the palette colours from
// there (the padding makes that load safe). Otherwise they are read one by one.
void FillRun(uint32_t* out, int32_t first_offset, int32_t count, float span, const uint32_t* bgr) {
  const hn::CappedTag<int32_t, kMaxLanes32> di;
  const hn::RebindToFloat<decltype(di)> df;
  const hn::RebindToUnsigned<decltype(di)> du;
  constexpr int32_t kLanes = static_cast<int32_t>(hn::MaxLanes(di));
  static_assert(kLanes <= kPaletteColoursPadding);
  const auto scale = hn::Set(df, 360.0f);
  const auto spans = hn::Set(df, span);
  const auto last_index = hn::Set(di, kPaletteSize - 1);
  const auto width = hn::Set(du, static_cast<uint32_t>(kLanes));
  alignas(32) int32_t staged[kLanes];
  const auto step = hn::Set(di, kLanes);
  auto offsets = hn::Add(hn::Iota(di, 0), hn::Set(di, first_offset));
  int32_t k = 0;
  for (; k + kLanes <= count; k += kLanes, offsets = hn::Add(offsets, step)) {
    const auto position = hn::Div(hn::Mul(hn::ConvertTo(df, offsets), scale), spans);
    const auto index = hn::Min(hn::ConvertTo(di, position), last_index);
    const int32_t base = hn::GetLane(index);
    const auto relative = hn::BitCast(du, hn::Sub(index, hn::Set(di, base)));
    if (hn::AllTrue(du, hn::Lt(relative, width))) {
      const auto colours = hn::LoadU(du, bgr + base);
      hn::StoreU(hn::TableLookupLanes(colours, hn::IndicesFromVec(du, relative)), du, out + k);
    } else {
      hn::Store(index, di, staged);
      for (int32_t n = 0; n < kLanes; ++n) out[k + n] = bgr[staged[n]];
    }
  }
  PlainColourMapLoops().fill_run(out + k, first_offset + k, count - k, span, bgr);
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace kt
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace kt {
namespace {

HWY_EXPORT(MapFrame);
HWY_EXPORT(FillRun);

void DispatchMapFrame(const ColourFrame& frame, const uint32_t* table, uint32_t* minimum,
                      uint32_t* maximum) {
  HWY_DYNAMIC_DISPATCH(MapFrame)(frame, table, minimum, maximum);
}
void DispatchFillRun(uint32_t* out, int32_t first_offset, int32_t count, float span,
                     const uint32_t* bgr) {
  HWY_DYNAMIC_DISPATCH(FillRun)(out, first_offset, count, span, bgr);
}

}  // namespace

const ColourMapLoops& FastestColourMapLoops() {
  static constexpr ColourMapLoops kLoops{DispatchMapFrame, DispatchFillRun};
  return kLoops;
}

}  // namespace kt
#endif
