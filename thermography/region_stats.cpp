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
  const __m256 shift8 = _mm256_set1_ps(shift);
  const __m256d shift4 = _mm256_set1_pd(shift);
  // The shift is one of the region's temperatures (or their mean), so it
  // starts the extremes and stands in for pixels without a temperature: it
  // never moves the extremes, and its d = 0 adds nothing to the sums.
  __m256 low = shift8, high = shift8;
  __m256d sum_low = _mm256_setzero_pd(), sum_high = sum_low;
  __m256d squares_low = sum_low, squares_high = sum_low;
  __m256i counts = _mm256_setzero_si256();
  int i = 0;
  for (; i + 8 <= length; i += 8) {
    const __m256 value = _mm256_loadu_ps(values + i);
    // Not -999.0, and not NaN (the ordered comparison fails). Infinities
    // are let through: they make the sums non-finite, and the caller then
    // takes the careful loop instead.
    const __m256 has = _mm256_cmp_ps(value, none, _CMP_NEQ_OQ);
    // The mask's lanes are -1 where a pixel counts.
    counts = _mm256_sub_epi32(counts, _mm256_castps_si256(has));
    const __m256 taken = _mm256_blendv_ps(shift8, value, has);
    low = _mm256_min_ps(low, taken);
    high = _mm256_max_ps(high, taken);
    const __m256d d_low = _mm256_sub_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(taken)), shift4);
    const __m256d d_high = _mm256_sub_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(taken, 1)), shift4);
    sum_low = _mm256_add_pd(sum_low, d_low);
    sum_high = _mm256_add_pd(sum_high, d_high);
    squares_low = _mm256_fmadd_pd(d_low, d_low, squares_low);
    squares_high = _mm256_fmadd_pd(d_high, d_high, squares_high);
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
  m.sum += HorizontalSum(_mm256_add_pd(sum_low, sum_high));
  m.squares += HorizontalSum(_mm256_add_pd(squares_low, squares_high));
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
  if (CpuHasAvx2()) {
    Moments run;
    AccumulateAvx2(values, length, shift, run);
    if (std::isfinite(run.sum + run.squares)) {
      m.count += run.count;
      m.min = std::min(m.min, run.min);
      m.max = std::max(m.max, run.max);
      m.sum += run.sum;
      m.squares += run.squares;
      return;
    }
  }
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
  int width;    // of the frame
  bool packed;  // values one run after another, not the frame

  // Visits runs[first], runs[first + 1], ... while `visit` returns true.
  template <typename Visit>
  void ForEach(const std::vector<Run>& runs, std::size_t first, Visit visit) const {
    std::size_t offset = 0;  // of runs[r] when packed
    for (std::size_t r = 0; r < first; ++r) offset += static_cast<std::size_t>(runs[r].length);
    for (std::size_t r = first; r < runs.size(); ++r) {
      const Run& run = runs[r];
      const float* start =
          packed ? values + offset
                 : values + static_cast<std::size_t>(run.y) * static_cast<std::size_t>(width) +
                       static_cast<std::size_t>(run.x);
      offset += static_cast<std::size_t>(run.length);
      if (!visit(r, run, start)) return;
    }
  }
};

// The sums, and the runs from which on the extremes are to be looked for:
// where each last got lower (higher). A run without any temperature may claim
// an extreme equal to the shift, so the search goes on past it.
// Long runs are summed in pieces of this many values, so that the search for
// the place of an extreme can start at the piece where it was reached.
constexpr int kPiece = 1024;

// Where to start looking for an extreme: a run and a value within it.
struct Start {
  std::size_t run = 0;
  int at = 0;
};

// The sums, and where the extremes were last lowered (raised): the search
// starts there. A piece without any temperature may claim an extreme equal
// to the shift, so the search goes on past its start if need be.
struct Sums {
  Moments moments;
  Start min_from, max_from;
};

Sums SumsAround(const Layout& layout, const std::vector<Run>& runs, float shift) {
  Sums sums;
  Moments& m = sums.moments;
  layout.ForEach(runs, 0, [&](std::size_t r, const Run& run, const float* start) {
    for (int at = 0; at < run.length; at += kPiece) {
      const float min_before = m.min, max_before = m.max;
      Accumulate(start + at, std::min(kPiece, run.length - at), shift, m);
      if (m.min < min_before) sums.min_from = {r, at};
      if (m.max > max_before) sums.max_from = {r, at};
    }
    return true;
  });
  return sums;
}

// The first place of `target` from `from` on.
void FirstPlace(const Layout& layout, const std::vector<Run>& runs, Start from, float target,
                int& x, int& y) {
  layout.ForEach(runs, from.run, [&](std::size_t r, const Run& run, const float* start) {
    const int skip = r == from.run ? from.at : 0;
    const int found = FirstIndex(start + skip, run.length - skip, target);
    if (found < 0) return true;
    // A run may go on into the rows below.
    const int along = run.x + skip + found;
    x = along % layout.width;
    y = run.y + along / layout.width;
    return false;
  });
}

bool Stats(const Layout& layout, const std::vector<Run>& runs, KolThermoStats& stats) {
  // The first temperature of the region is the first shift.
  float shift = 0.0f;
  bool found = false;
  layout.ForEach(runs, 0, [&](std::size_t, const Run& run, const float* start) {
    for (int i = 0; i < run.length && !found; ++i) {
      if (HasTemperature(start[i])) {
        shift = start[i];
        found = true;
      }
    }
    return !found;
  });
  if (!found) return false;
  Sums sums = SumsAround(layout, runs, shift);
  const Moments& m = sums.moments;
  double mean = m.sum / m.count;
  double variance = m.squares / m.count - mean * mean;
  // The subtraction above loses what the mean's distance from the shift
  // magnifies; when that could reach 1e-12 relative, sum again around the
  // mean itself (a region whose first pixel is far from the rest).
  if (mean * mean > 1e4 * std::max(variance, 0.0)) {
    shift = static_cast<float>(shift + mean);
    sums = SumsAround(layout, runs, shift);
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
  FirstPlace(layout, runs, sums.min_from, m.min, result.min_x, result.min_y);
  FirstPlace(layout, runs, sums.max_from, m.max, result.max_x, result.max_y);
  stats = result;
  return true;
}

}  // namespace

bool RegionStats(const float* frame, int width, const std::vector<Run>& runs,
                 KolThermoStats& stats) {
  return Stats({frame, width, false}, runs, stats);
}

bool PackedRegionStats(const float* values, int width, const std::vector<Run>& runs,
                       KolThermoStats& stats) {
  return Stats({values, width, true}, runs, stats);
}

}  // namespace kt::thermography
