#include "frame_correction.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "kolthermo/kolthermo_thermography.h"
#include "simd_dispatch.h"

#if KT_THERMO_AVX2
#include <immintrin.h>
#endif

namespace kt::thermography {
namespace {

// Frames go through in blocks that stay in the first-level cache: when the
// output is the input, a block is corrected into a buffer first so that the
// few values left to the exact path can still be read.
constexpr int kBlock = 2048;

// The table's value for a measured temperature inside first_c..last_c.
inline float Interpolate(const CorrectionTable& table, float measured) {
  const float position = (measured - table.first_c) * table.steps_per_degree;
  const auto node = static_cast<int>(position);
  const float fraction = position - static_cast<float>(node);
  const auto i = static_cast<std::size_t>(node);
  return table.value[i] + fraction * table.slope[i];
}

// Interpolates every value inside the table and copies the others; returns
// how many it copied (they go to the exact path or pass through).
int InterpolatePlain(const CorrectionTable& table, const float* in, float* out, int count) {
  int left = 0;
  for (int i = 0; i < count; ++i) {
    const float measured = in[i];
    if (measured >= table.first_c && measured <= table.last_c) {
      out[i] = Interpolate(table, measured);
    } else {
      out[i] = measured;
      ++left;
    }
  }
  return left;
}

#if KT_THERMO_AVX2
KT_THERMO_TARGET_AVX2 int InterpolateAvx2(const CorrectionTable& table, const float* in, float* out,
                                          int count) {
  const __m256 first = _mm256_set1_ps(table.first_c);
  const __m256 last = _mm256_set1_ps(table.last_c);
  const __m256 scale = _mm256_set1_ps(table.steps_per_degree);
  const double* pairs = table.pairs.data();
  __m256i taken = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256 measured = _mm256_loadu_ps(in + i);
    const __m256 inside = _mm256_and_ps(_mm256_cmp_ps(measured, first, _CMP_GE_OQ),
                                        _mm256_cmp_ps(measured, last, _CMP_LE_OQ));
    // Lanes outside the table look up node 0 and are replaced below.
    const __m256 position =
        _mm256_and_ps(_mm256_mul_ps(_mm256_sub_ps(measured, first), scale), inside);
    const __m256i node = _mm256_cvttps_epi32(position);
    const __m256 fraction = _mm256_sub_ps(position, _mm256_cvtepi32_ps(node));
    // Each node's value and slope are one 64-bit pair, fetched by plain loads
    // (quicker than the gather instruction here). shuffle_ps then picks the
    // values and the slopes within each 128-bit half: with pixels 0 1 4 5 in
    // `a` and 2 3 6 7 in `b`, they come out in pixel order.
    alignas(32) int index[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(index), node);
    const __m256 a = _mm256_castpd_ps(
        _mm256_set_pd(pairs[index[5]], pairs[index[4]], pairs[index[1]], pairs[index[0]]));
    const __m256 b = _mm256_castpd_ps(
        _mm256_set_pd(pairs[index[7]], pairs[index[6]], pairs[index[3]], pairs[index[2]]));
    const __m256 value = _mm256_shuffle_ps(a, b, 0x88);
    const __m256 slope = _mm256_shuffle_ps(a, b, 0xDD);
    const __m256 object = _mm256_fmadd_ps(fraction, slope, value);
    _mm256_storeu_ps(out + i, _mm256_blendv_ps(measured, object, inside));
    // The mask's lanes are -1 where a pixel was interpolated.
    taken = _mm256_sub_epi32(taken, _mm256_castps_si256(inside));
  }
  alignas(32) int lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), taken);
  int left = i;
  for (const int lane : lanes) left -= lane;
  return left + InterpolatePlain(table, in + i, out + i, count - i);
}
#endif

int Interpolate(const CorrectionTable& table, const float* in, float* out, int count) {
  if (table.value.empty()) {
    std::memcpy(out, in, sizeof(float) * static_cast<std::size_t>(count));
    return count;
  }
#if KT_THERMO_AVX2
  if (CpuHasAvx2()) return InterpolateAvx2(table, in, out, count);
#endif
  return InterpolatePlain(table, in, out, count);
}

// One value through the exact path; returns 1 when it failed.
int CorrectExactly(const ObjectCorrection& exact, float measured, float& out) {
  if (measured == KOLTHERMO_THERMO_NO_TEMPERATURE) {
    out = measured;
    return 0;
  }
  const auto object = std::isfinite(measured) ? exact.ObjectCelsius(measured) : std::nullopt;
  out = object ? static_cast<float>(*object) : KOLTHERMO_THERMO_NO_TEMPERATURE;
  return object ? 0 : 1;
}

bool Overlap(const float* a, const float* b, int count) {
  // Compared as addresses: the arrays may belong to different objects.
  return std::less_equal<>()(a, b + count) && std::less_equal<>()(b, a + count);
}

}  // namespace

int CorrectValues(const ObjectCorrection& exact, const CorrectionTable* table, const float* in,
                  float* out, int count) {
  int failed = 0;
  if (table == nullptr) {
    for (int i = 0; i < count; ++i) failed += CorrectExactly(exact, in[i], out[i]);
    return failed;
  }
  const bool overlap = Overlap(in, out, count);
  std::array<float, kBlock> buffer;
  for (int start = 0; start < count; start += kBlock) {
    const int length = std::min(kBlock, count - start);
    const float* source = in + start;
    float* target = overlap ? buffer.data() : out + start;
    if (Interpolate(*table, source, target, length) > 0) {
      for (int i = 0; i < length; ++i) {
        const float measured = source[i];
        if (!(measured >= table->first_c && measured <= table->last_c)) {
          failed += CorrectExactly(exact, measured, target[i]);
        }
      }
    }
    if (overlap)
      std::memcpy(out + start, buffer.data(), sizeof(float) * static_cast<std::size_t>(length));
  }
  return failed;
}

}  // namespace kt::thermography
