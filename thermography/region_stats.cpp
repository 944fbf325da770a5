#include "region_stats.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "simd_dispatch.h"

#if KT_THERMO_AVX2
#include <immintrin.h>
#endif

namespace kt::thermography {
namespace {

bool HasTemperature(float value) {
  return value != KOLTHERMO_THERMO_NO_TEMPERATURE && std::isfinite(value);
}

// Sums of a region around `shift`, a value near its temperatures: the sums of
// d = value - shift and d^2 in double lose nothing to a large mean.
struct Moments {
  int count = 0;
  float min = std::numeric_limits<float>::infinity();
  float max = -std::numeric_limits<float>::infinity();
  double sum = 0.0;
  double squares = 0.0;
};

void AccumulatePlain(const float* values, int length, float shift, Moments& m) {
  for (int i = 0; i < length; ++i) {
    const float value = values[i];
    if (!HasTemperature(value)) continue;
    ++m.count;
    m.min = value < m.min ? value : m.min;
    m.max = value > m.max ? value : m.max;
    const double d = static_cast<double>(value) - shift;
    m.sum += d;
    m.squares += d * d;
  }
}

int FirstIndexPlain(const float* values, int length, float target) {
  for (int i = 0; i < length; ++i) {
    if (values[i] == target) return i;
  }
  return -1;
}

#if KT_THERMO_AVX2
KT_THERMO_TARGET_AVX2 double HorizontalSum(__m256d v) {
  const __m128d pair = _mm_add_pd(_mm256_castpd256_pd128(v), _mm256_extractf128_pd(v, 1));
  return _mm_cvtsd_f64(_mm_add_sd(pair, _mm_unpackhi_pd(pair, pair)));
}

KT_THERMO_TARGET_AVX2 void AccumulateAvx2(const float* values, int length, float shift,
                                          Moments& m) {
  const __m256 none = _mm256_set1_ps(KOLTHERMO_THERMO_NO_TEMPERATURE);
  const __m256 infinity = _mm256_set1_ps(std::numeric_limits<float>::infinity());
  const __m256 sign = _mm256_set1_ps(-0.0f);
  const __m256 shift8 = _mm256_set1_ps(shift);
  const __m256d shift4 = _mm256_set1_pd(shift);
  __m256 low = infinity, high = _mm256_sub_ps(_mm256_setzero_ps(), infinity);
  // Two independent sums of each kind a half, so that the additions overlap
  // (named, not an array: GCC keeps an array of vectors in memory).
  __m256d sum_a = _mm256_setzero_pd(), sum_b = sum_a, sum_c = sum_a, sum_d = sum_a;
  __m256d squares_a = sum_a, squares_b = sum_a, squares_c = sum_a, squares_d = sum_a;
  __m256i counts = _mm256_setzero_si256();
  auto add8 = [&](const float* at, __m256d& sum_low, __m256d& sum_high, __m256d& squares_low,
                  __m256d& squares_high) KT_THERMO_TARGET_AVX2 {
    const __m256 value = _mm256_loadu_ps(at);
    // Finite (|v| below infinity, which NaN fails too) and not -999.0.
    const __m256 has =
        _mm256_and_ps(_mm256_cmp_ps(value, none, _CMP_NEQ_OQ),
                      _mm256_cmp_ps(_mm256_andnot_ps(sign, value), infinity, _CMP_LT_OQ));
    // The mask's lanes are -1 where a pixel counts.
    counts = _mm256_sub_epi32(counts, _mm256_castps_si256(has));
    // A pixel without a temperature counts as the shift: d = 0. The shift is
    // one of the region's temperatures (or their mean), so it never moves
    // the extremes either.
    const __m256 taken = _mm256_blendv_ps(shift8, value, has);
    low = _mm256_min_ps(low, taken);
    high = _mm256_max_ps(high, taken);
    const __m256d d_low = _mm256_sub_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(taken)), shift4);
    const __m256d d_high = _mm256_sub_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(taken, 1)), shift4);
    sum_low = _mm256_add_pd(sum_low, d_low);
    sum_high = _mm256_add_pd(sum_high, d_high);
    squares_low = _mm256_fmadd_pd(d_low, d_low, squares_low);
    squares_high = _mm256_fmadd_pd(d_high, d_high, squares_high);
  };
  int i = 0;
  for (; i + 16 <= length; i += 16) {
    add8(values + i, sum_a, sum_b, squares_a, squares_b);
    add8(values + i + 8, sum_c, sum_d, squares_c, squares_d);
  }
  if (i + 8 <= length) {
    add8(values + i, sum_a, sum_b, squares_a, squares_b);
    i += 8;
  }
  alignas(32) float lows[8], highs[8];
  _mm256_store_ps(lows, low);
  _mm256_store_ps(highs, high);
  for (int k = 0; k < 8; ++k) {
    m.min = lows[k] < m.min ? lows[k] : m.min;
    m.max = highs[k] > m.max ? highs[k] : m.max;
  }
  alignas(32) int lane_counts[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lane_counts), counts);
  for (const int lane : lane_counts) m.count += lane;
  m.sum += HorizontalSum(_mm256_add_pd(_mm256_add_pd(sum_a, sum_b), _mm256_add_pd(sum_c, sum_d)));
  m.squares += HorizontalSum(
      _mm256_add_pd(_mm256_add_pd(squares_a, squares_b), _mm256_add_pd(squares_c, squares_d)));
  AccumulatePlain(values + i, length - i, shift, m);
}

KT_THERMO_TARGET_AVX2 int FirstIndexAvx2(const float* values, int length, float target) {
  const __m256 wanted = _mm256_set1_ps(target);
  int i = 0;
  for (; i + 8 <= length; i += 8) {
    const int hits =
        _mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(values + i), wanted, _CMP_EQ_OQ));
    if (hits != 0) return i + __builtin_ctz(static_cast<unsigned>(hits));
  }
  const int rest = FirstIndexPlain(values + i, length - i, target);
  return rest < 0 ? -1 : i + rest;
}
#endif

void Accumulate(const float* values, int length, float shift, Moments& m) {
#if KT_THERMO_AVX2
  if (CpuHasAvx2()) return AccumulateAvx2(values, length, shift, m);
#endif
  AccumulatePlain(values, length, shift, m);
}

int FirstIndex(const float* values, int length, float target) {
#if KT_THERMO_AVX2
  if (CpuHasAvx2()) return FirstIndexAvx2(values, length, target);
#endif
  return FirstIndexPlain(values, length, target);
}

// Where each run's values start: in a frame, or packed one after another.
struct Layout {
  const float* values;
  int stride;  // 0: packed

  template <typename Visit>
  void ForEach(const std::vector<Run>& runs, Visit visit) const {
    std::size_t packed = 0;
    for (const Run& run : runs) {
      const float* start =
          stride > 0 ? values + static_cast<std::size_t>(run.y) * static_cast<std::size_t>(stride) +
                           static_cast<std::size_t>(run.x)
                     : values + packed;
      packed += static_cast<std::size_t>(run.length);
      if (!visit(run, start)) return;
    }
  }
};

Moments Sums(const Layout& layout, const std::vector<Run>& runs, float shift) {
  Moments m;
  layout.ForEach(runs, [&](const Run& run, const float* start) {
    Accumulate(start, run.length, shift, m);
    return true;
  });
  return m;
}

bool Stats(const Layout& layout, const std::vector<Run>& runs, KolThermoStats& stats) {
  // The first temperature of the region is the first shift.
  float shift = 0.0f;
  bool found = false;
  layout.ForEach(runs, [&](const Run& run, const float* start) {
    for (int i = 0; i < run.length && !found; ++i) {
      if (HasTemperature(start[i])) {
        shift = start[i];
        found = true;
      }
    }
    return !found;
  });
  if (!found) return false;
  Moments m = Sums(layout, runs, shift);
  double mean = m.sum / m.count;
  double variance = m.squares / m.count - mean * mean;
  // The subtraction above loses what the mean's distance from the shift
  // magnifies; when that could reach 1e-12 relative, sum again around the
  // mean itself (a region whose first pixel is far from the rest).
  if (mean * mean > 1e4 * std::max(variance, 0.0)) {
    shift = static_cast<float>(shift + mean);
    m = Sums(layout, runs, shift);
    mean = m.sum / m.count;
    variance = m.squares / m.count - mean * mean;
  }
  KolThermoStats result{};
  result.min_c = m.min;
  result.max_c = m.max;
  result.mean_c = shift + mean;
  result.stddev_c = std::sqrt(std::max(variance, 0.0));
  result.count = m.count;
  // The first places of the extremes, in run order.
  bool min_found = false, max_found = false;
  layout.ForEach(runs, [&](const Run& run, const float* start) {
    if (!min_found) {
      const int at = FirstIndex(start, run.length, m.min);
      if (at >= 0) {
        result.min_x = run.x + at;
        result.min_y = run.y;
        min_found = true;
      }
    }
    if (!max_found) {
      const int at = FirstIndex(start, run.length, m.max);
      if (at >= 0) {
        result.max_x = run.x + at;
        result.max_y = run.y;
        max_found = true;
      }
    }
    return !(min_found && max_found);
  });
  stats = result;
  return true;
}

}  // namespace

bool RegionStats(const float* values, int stride, const std::vector<Run>& runs,
                 KolThermoStats& stats) {
  return Stats({values, stride}, runs, stats);
}

bool PackedRegionStats(const float* values, const std::vector<Run>& runs, KolThermoStats& stats) {
  return Stats({values, 0}, runs, stats);
}

}  // namespace kt::thermography
