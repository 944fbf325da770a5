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

// Maps every row with `map_row(raw_row, colour_row)` and finds the extremes of
// the central rectangle, kept per lane across its rows and reduced once at the
// end. A row of the rectangle narrower than a vector is scanned code by code.
template <typename MapRowFn>
HWY_INLINE void MapRowsAndFindExtremes(const ColourFrame& frame, const MapRowFn& map_row,
                                       uint32_t* minimum, uint32_t* maximum) {
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
    map_row(raw_row, frame.colour + i * frame.colour_stride);
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

void MapFrame(const ColourFrame& frame, const uint32_t* table, uint32_t* minimum,
              uint32_t* maximum) {
  MapRowsAndFindExtremes(
      frame,
      [&](const uint8_t* raw_row, uint8_t* colour_row) {
        MapRow(raw_row, colour_row, frame.width, table);
      },
      minimum, maximum);
}

#if HWY_TARGET == HWY_AVX3_DL
// Processors with byte permutes across a whole 512-bit vector (AVX-512 VBMI)
// compute each pixel's palette index in single precision, as the lookup's
// entries are computed, and look its three colour bytes up in registers:
// cheaper than one table read per pixel. Highway has no whole-vector byte
// permute yet, so the permutes are written as intrinsics on its vectors.

// The 64 pixels of a step, in their blue, green and red planes.
struct ColourPlanes {
  __m512i plane[3];
};

// Everything a step needs, set up once per frame.
class WindowMapper {
 public:
  WindowMapper(int32_t low, int32_t high, const uint32_t* bgr)
      : low_(_mm512_set1_epi32(low)),
        low_codes_(_mm512_set1_epi16(static_cast<int16_t>(low))),
        high_codes_(_mm512_set1_epi16(static_cast<int16_t>(high))),
        span_(_mm512_set1_ps(static_cast<float>(high - low))) {
    // Each plane's table: the palette's 360 entries, then black and white at
    // the indices every code at or below the window's low bound, or at or
    // above its high bound, is given.
    alignas(64) uint8_t table[3][kTableEntries] = {};
    for (int channel = 0; channel < 3; ++channel) {
      for (int index = 0; index < kPaletteSize; ++index)
        table[channel][index] = static_cast<uint8_t>(bgr[index] >> (8 * channel));
      table[channel][kBlackIndex] = 0;
      table[channel][kWhiteIndex] = 255;
      for (int part = 0; part < kTableParts; ++part)
        tables_[channel][part] = _mm512_load_si512(table[channel] + 64 * part);
    }
    // Packing the four vectors of 32-bit indices to 16 bits (two at a time)
    // interleaves them by 128-bit block; these byte indices put the low and the
    // high bytes of the 64 indices back in pixel order.
    alignas(64) uint8_t low_bytes[64];
    alignas(64) uint8_t high_bytes[64];
    for (int pixel = 0; pixel < 64; ++pixel) {
      const int source = pixel / 16;  // which vector of 32-bit indices
      const int lane = pixel % 16;
      const int word = (source / 2) * 32 + (lane / 4) * 8 + (source % 2) * 4 + lane % 4;
      low_bytes[pixel] = static_cast<uint8_t>(2 * word);
      high_bytes[pixel] = static_cast<uint8_t>(2 * word + 1);
    }
    index_low_bytes_ = _mm512_load_si512(low_bytes);
    index_high_bytes_ = _mm512_load_si512(high_bytes);
    // Interleaving the planes: byte k of output vector o is byte k + 64 o of
    // the 64 pixels' blue, green, red bytes. Blue and green come from one
    // two-vector permute, red is permuted in over them.
    alignas(64) uint8_t blue_green[3][64];
    alignas(64) uint8_t red[3][64];
    for (int out = 0; out < 3; ++out) {
      red_bytes_[out] = 0;
      for (int k = 0; k < 64; ++k) {
        const int pixel = (64 * out + k) / 3;
        const int channel = (64 * out + k) % 3;
        blue_green[out][k] = static_cast<uint8_t>(channel == 1 ? 64 + pixel : pixel);
        red[out][k] = static_cast<uint8_t>(pixel);
        if (channel == 2) red_bytes_[out] |= uint64_t{1} << k;
      }
      blue_green_order_[out] = _mm512_load_si512(blue_green[out]);
      red_order_[out] = _mm512_load_si512(red[out]);
    }
  }

  // Maps a row: whole steps of 64 pixels, then the rest with masked loads
  // and stores. Nothing the row's stores reach is read through `this`, so the
  // tables and orders stay in registers.
  HWY_INLINE void MapRow(const uint8_t* raw, uint8_t* HWY_RESTRICT colour, int32_t width) const {
    int32_t j = 0;
    for (; j + 64 <= width; j += 64) {
      const ColourPlanes planes =
          Colours(_mm512_loadu_si512(raw + 2 * j), _mm512_loadu_si512(raw + 2 * j + 64));
      for (int out = 0; out < 3; ++out)
        _mm512_storeu_si512(colour + 3 * j + 64 * out, Interleave(planes, out));
    }
    const int32_t count = width - j;
    if (count == 0) return;
    const __mmask32 first_half = count >= 32 ? ~__mmask32{0} : (__mmask32{1} << count) - 1;
    const __mmask32 second_half = count <= 32 ? 0 : (__mmask32{1} << (count - 32)) - 1;
    const ColourPlanes planes = Colours(_mm512_maskz_loadu_epi16(first_half, raw + 2 * j),
                                        _mm512_maskz_loadu_epi16(second_half, raw + 2 * j + 64));
    for (int out = 0; out < 3; ++out) {
      const int32_t bytes = 3 * count - 64 * out;
      if (bytes <= 0) break;
      const uint64_t mask = bytes >= 64 ? ~uint64_t{0} : (uint64_t{1} << bytes) - 1;
      _mm512_mask_storeu_epi8(colour + 3 * j + 64 * out, mask, Interleave(planes, out));
    }
  }

 private:
  static constexpr int kTableParts = 6;  // 64-byte parts of a plane's table
  static constexpr int kTableEntries = 64 * kTableParts;
  static constexpr int kBlackIndex = kPaletteSize;
  static constexpr int kWhiteIndex = kPaletteSize + 1;

  // Output vector `out` (0 to 2) of the 64 pixels' blue-green-red bytes.
  HWY_INLINE __m512i Interleave(const ColourPlanes& planes, int out) const {
    const __m512i blue_green =
        _mm512_permutex2var_epi8(planes.plane[0], blue_green_order_[out], planes.plane[1]);
    return _mm512_mask_permutexvar_epi8(blue_green, red_bytes_[out], red_order_[out],
                                        planes.plane[2]);
  }

  // The colour planes of 64 codes.
  HWY_INLINE ColourPlanes Colours(__m512i codes0, __m512i codes1) const {
    const __mmask64 black = _mm512_kunpackd(_mm512_cmple_epu16_mask(codes1, low_codes_),
                                            _mm512_cmple_epu16_mask(codes0, low_codes_));
    const __mmask64 white = _mm512_kunpackd(_mm512_cmpge_epu16_mask(codes1, high_codes_),
                                            _mm512_cmpge_epu16_mask(codes0, high_codes_));
    // Indices of the codes inside the window: trunc((code - low) x 360 / span),
    // every step exact or rounded as in the lookup's entries. The window is
    // narrower than 2^16 codes, so they stay below 360; codes outside give
    // values that black and white replace.
    const __m512i indices[4] = {
        Index(_mm512_castsi512_si256(codes0)), Index(_mm512_extracti64x4_epi64(codes0, 1)),
        Index(_mm512_castsi512_si256(codes1)), Index(_mm512_extracti64x4_epi64(codes1, 1))};
    const __m512i words0 = _mm512_packus_epi32(indices[0], indices[1]);
    const __m512i words1 = _mm512_packus_epi32(indices[2], indices[3]);
    __m512i low_bytes = _mm512_permutex2var_epi8(words0, index_low_bytes_, words1);
    const __m512i high_bytes = _mm512_permutex2var_epi8(words0, index_high_bytes_, words1);
    // Each plane's table is read in three 128-entry parts, by the index's low
    // seven bits: entries 0-127, 128-255 (bit 7 set) and 256-383 (a high byte).
    const __mmask64 outside = black | white;
    const __mmask64 third = _mm512_test_epi8_mask(high_bytes, high_bytes) | outside;
    const __mmask64 second = _mm512_movepi8_mask(low_bytes) & ~third;
    low_bytes = _mm512_mask_blend_epi8(black, low_bytes, _mm512_set1_epi8(kBlackIndex - 256));
    low_bytes = _mm512_mask_blend_epi8(white, low_bytes, _mm512_set1_epi8(kWhiteIndex - 256));
    ColourPlanes planes;
    for (int channel = 0; channel < 3; ++channel) {
      const __m512i* t = tables_[channel];
      const __m512i part0 = _mm512_permutex2var_epi8(t[0], low_bytes, t[1]);
      const __m512i part1 = _mm512_permutex2var_epi8(t[2], low_bytes, t[3]);
      const __m512i part2 = _mm512_permutex2var_epi8(t[4], low_bytes, t[5]);
      planes.plane[channel] =
          _mm512_mask_blend_epi8(third, _mm512_mask_blend_epi8(second, part0, part1), part2);
    }
    return planes;
  }

  HWY_INLINE __m512i Index(__m256i codes) const {
    const __m512i offsets = _mm512_sub_epi32(_mm512_cvtepu16_epi32(codes), low_);
    const __m512 scaled = _mm512_mul_ps(_mm512_cvtepi32_ps(offsets), _mm512_set1_ps(360.0f));
    return _mm512_cvttps_epi32(_mm512_div_ps(scaled, span_));
  }

  __m512i low_;
  __m512i low_codes_;
  __m512i high_codes_;
  __m512 span_;
  __m512i tables_[3][kTableParts];
  __m512i index_low_bytes_;
  __m512i index_high_bytes_;
  __m512i blue_green_order_[3];
  __m512i red_order_[3];
  uint64_t red_bytes_[3];
};

bool MapFrameByWindow(const ColourFrame& frame, int32_t low, int32_t high, const uint32_t* bgr,
                      uint32_t* minimum, uint32_t* maximum) {
  const WindowMapper mapper(low, high, bgr);
  MapRowsAndFindExtremes(
      frame,
      [&](const uint8_t* raw_row, uint8_t* colour_row) {
        mapper.MapRow(raw_row, colour_row, frame.width);
      },
      minimum, maximum);
  return true;
}

#endif

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

#if HWY_TARGET != HWY_AVX3_DL
// The other targets read the lookup, as the plain loops do.
bool MapFrameByWindow(const ColourFrame& frame, int32_t low, int32_t high, const uint32_t* bgr,
                      uint32_t* minimum, uint32_t* maximum) {
  return PlainColourMapLoops().map_frame_by_window(frame, low, high, bgr, minimum, maximum);
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
HWY_EXPORT(MapFrameByWindow);

void DispatchMapFrame(const ColourFrame& frame, const uint32_t* table, uint32_t* minimum,
                      uint32_t* maximum) {
  HWY_DYNAMIC_DISPATCH(MapFrame)(frame, table, minimum, maximum);
}
void DispatchFillRun(uint32_t* out, int32_t first_offset, int32_t count, float span,
                     const uint32_t* bgr) {
  HWY_DYNAMIC_DISPATCH(FillRun)(out, first_offset, count, span, bgr);
}

bool DispatchMapFrameByWindow(const ColourFrame& frame, int32_t low, int32_t high,
                              const uint32_t* bgr, uint32_t* minimum, uint32_t* maximum) {
  return HWY_DYNAMIC_DISPATCH(MapFrameByWindow)(frame, low, high, bgr, minimum, maximum);
}

}  // namespace

const ColourMapLoops& FastestColourMapLoops() {
  static constexpr ColourMapLoops kLoops{DispatchMapFrame, DispatchFillRun,
                                         DispatchMapFrameByWindow};
  return kLoops;
}

}  // namespace kt
#endif
