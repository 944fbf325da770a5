#include "palette_kernels.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

// On x86-64 Linux the hot loops are built twice, for AVX2 and for any x86-64,
// and the loader picks one; elsewhere (the Windows DLLs must run on any
// processor) the baseline build only.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define KT_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KT_VECTOR_CLONES
#endif

namespace kt::thermography {

// Colours are stored as R, G, B in the low three bytes of a word.
static_assert(std::endian::native == std::endian::little);
namespace {
// Independent running extremes, so that the loop keeps several vectors busy.
constexpr size_t kLanes = 16;
}  // namespace

KT_VECTOR_CLONES
bool TemperatureExtremes(const float* temperatures, size_t count, float& low, float& high) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  float lows[kLanes];
  float highs[kLanes];
  std::fill(lows, lows + kLanes, kInf);
  std::fill(highs, highs + kLanes, -kInf);
  size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    for (size_t j = 0; j < kLanes; ++j) {
      const float t = temperatures[i + j];
      const bool valid = HasTemperature(t);
      lows[j] = valid && t < lows[j] ? t : lows[j];
      highs[j] = valid && t > highs[j] ? t : highs[j];
    }
  }
  for (; i < count; ++i) {
    const float t = temperatures[i];
    if (!HasTemperature(t)) continue;
    lows[0] = std::min(lows[0], t);
    highs[0] = std::max(highs[0], t);
  }
  low = *std::min_element(lows, lows + kLanes);
  high = *std::max_element(highs, highs + kLanes);
  return low <= high;
}

KT_VECTOR_CLONES
void CodePixels(const float* temperatures, size_t count, const CodeRule& rule, uint16_t* codes) {
  const CodeRule r = rule;
  for (size_t i = 0; i < count; ++i) {
    const float t = temperatures[i];
    const bool valid = HasTemperature(t);
    // A pixel without a temperature is computed as `low` so that the float
    // to integer conversion always sees a number in range.
    float x = ((valid ? t : r.low) - r.low) * r.scale + r.bias;
    x = x > 0.0f ? x : 0.0f;  // also turns a NaN from 0 * inf into 0
    x = x < r.top_code ? x : r.top_code;
    const auto code = static_cast<uint16_t>(static_cast<int32_t>(x));
    const bool isotherm = valid && t >= r.iso_low && t <= r.iso_high;
    codes[i] = !valid ? r.no_temperature_code : isotherm ? r.isotherm_code : code;
  }
}

void CountCodes(const uint16_t* codes, size_t count, uint32_t* histograms, size_t codes_per_copy) {
  uint32_t* copy[kHistogramCopies];
  for (size_t j = 0; j < kHistogramCopies; ++j) copy[j] = histograms + j * codes_per_copy;
  size_t i = 0;
  for (; i + kHistogramCopies <= count; i += kHistogramCopies) {
    for (size_t j = 0; j < kHistogramCopies; ++j) ++copy[j][codes[i + j]];
  }
  for (; i < count; ++i) ++copy[0][codes[i]];
}

void PaintPixels(const uint16_t* codes, size_t count, const uint32_t* colours, uint8_t* rgb,
                 bool last_in_buffer) {
  if (count == 0) return;
  // Four bytes per store; the fourth lands on the next pixel's first byte,
  // which that pixel's own store then overwrites.
  const size_t whole = last_in_buffer ? count - 1 : count;
  for (size_t i = 0; i < whole; ++i) std::memcpy(rgb + 3 * i, &colours[codes[i]], 4);
  if (last_in_buffer) {
    const uint32_t c = colours[codes[count - 1]];
    uint8_t* p = rgb + 3 * (count - 1);
    p[0] = static_cast<uint8_t>(c);
    p[1] = static_cast<uint8_t>(c >> 8);
    p[2] = static_cast<uint8_t>(c >> 16);
  }
}

}  // namespace kt::thermography
