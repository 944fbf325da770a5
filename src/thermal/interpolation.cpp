// The averaged ten-point interpolation over a calibration point list, point by
// point for one raw code and in one sweep for all 65536 codes. Both evaluate
// the same pairs with the same single-precision arithmetic in the same order,
// so the sweep's results are bit for bit those of the point-by-point scan.
#include <algorithm>
#include <vector>

#include "thermal/thermo_table.h"

namespace kt {
namespace {

constexpr int32_t kWindowSize = 10;

// a - b as 32-bit machine arithmetic: hostile raw codes wrap instead of
// overflowing.
int32_t WrappingDifference(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The mean of `pairs` straight-line interpolations at x, lower[k] with
// upper[k]. Each step is a float assignment so that no excess precision
// survives between the division, the multiplication and the two additions.
float AveragePairs(const CalibrationPoint* lower, const CalibrationPoint* upper, int32_t pairs,
                   int32_t x) {
  float sum = 0.0f;
  for (int32_t k = 0; k < pairs; ++k) {
    int32_t span = WrappingDifference(upper[k].raw, lower[k].raw);
    if (span == 0) span = 1;
    const float slope = (upper[k].temperature - lower[k].temperature) / static_cast<float>(span);
    const float offset = slope * static_cast<float>(WrappingDifference(x, lower[k].raw));
    sum = sum + offset;
    sum = sum + lower[k].temperature;
  }
  return sum / static_cast<float>(pairs);
}

// An unfilled window slot is raw 0 at 0.0 degrees; so is a real point there,
// and either way the nearest lower point counts as missing.
bool NoLowerPoint(const CalibrationPoint& nearest) {
  return nearest.raw == 0 && nearest.temperature == 0.0f;
}

size_t ScanLimit(size_t n, int32_t point_count) {
  return std::min(n, static_cast<size_t>(point_count));
}

// J: up to ten upper points, never past the end of the scanned list.
int32_t PairCount(size_t limit, size_t upper_index) {
  return static_cast<int32_t>(std::min<size_t>(kWindowSize, limit - upper_index));
}

}  // namespace

float InterpolatePoints(const CalibrationPoint* points, size_t n, int32_t point_count,
                        int32_t raw) {
  if (point_count < 1 || points == nullptr) return kNoTemperature;
  const size_t limit = ScanLimit(n, point_count);
  CalibrationPoint window[kWindowSize] = {};  // window[0] is the newest lower point
  for (size_t i = 0; i < limit; ++i) {
    const CalibrationPoint& point = points[i];
    if (point.temperature == kNoTemperature || point.raw == raw) continue;
    if (point.raw < raw) {
      std::copy_backward(window, window + kWindowSize - 1, window + kWindowSize);
      window[0] = point;
      continue;
    }
    if (NoLowerPoint(window[0])) return kNoTemperature;
    return AveragePairs(window, points + i, PairCount(limit, i), raw);
  }
  return kNoTemperature;
}

void SweepInterpolation(const CalibrationPoint* points, size_t n, int32_t point_count, float* out) {
  std::fill(out, out + kLookupEntries, kNoTemperature);
  if (point_count < 1 || points == nullptr) return;
  const size_t limit = ScanLimit(n, point_count);
  // The points the scan can stop at or take as lower points.
  std::vector<uint32_t> usable;
  usable.reserve(limit);
  for (size_t i = 0; i < limit; ++i) {
    if (points[i].temperature != kNoTemperature) usable.push_back(static_cast<uint32_t>(i));
  }
  // For code x the scan stops at the first usable point above x; that point
  // only moves forward as x grows. Every usable point before it lies at or
  // below x, so the window is the last ten of them that are not at x.
  size_t stop = 0;
  for (int32_t x = 0; x < kLookupEntries; ++x) {
    while (stop < usable.size() && points[usable[stop]].raw <= x) ++stop;
    if (stop == usable.size()) return;  // no upper point for this code or any above it
    CalibrationPoint window[kWindowSize] = {};
    int32_t filled = 0;
    for (size_t r = stop; r > 0 && filled < kWindowSize; --r) {
      const CalibrationPoint& point = points[usable[r - 1]];
      if (point.raw != x) window[filled++] = point;
    }
    if (NoLowerPoint(window[0])) continue;
    const size_t upper_index = usable[stop];
    out[x] = AveragePairs(window, points + upper_index, PairCount(limit, upper_index), x);
  }
}

const std::vector<CalibrationPoint>& ThermoTableState::active_points() const {
  return read_compensated && !compensated_points.empty() ? compensated_points : base_points;
}

float ThermoTableState::InterpolateOutsideSweep(int32_t raw) const {
  const std::vector<CalibrationPoint>& points = active_points();
  return InterpolatePoints(points.data(), points.size(), point_count, raw);
}

void ThermoTableState::PrepareInterpolation() {
  const std::vector<CalibrationPoint>& points = active_points();
  interpolated.resize(static_cast<size_t>(kLookupEntries));
  SweepInterpolation(points.data(), points.size(), point_count, interpolated.data());
}

}  // namespace kt
