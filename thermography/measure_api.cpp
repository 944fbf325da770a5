// The exported measurement functions: the region's pixels, corrected first
// when the measurement asks for it, then their statistics and the alarm.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "correction_table.h"
#include "frame_correction.h"
#include "kolthermo/kolthermo_measure.h"
#include "measure_region.h"
#include "object_temperature.h"
#include "region_stats.h"

namespace {

namespace thermo = kt::thermography;

// Frame size and measurement fields that do not depend on the region's place.
int CheckArguments(const float* temperatures_c, int width, int height,
                   const KolThermoMeasurement* measurement) {
  // A pixel count must fit the int of KolThermoStats::count.
  if (temperatures_c == nullptr || measurement == nullptr || width < 1 || height < 1 ||
      width > INT_MAX / height) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  const int alarm = measurement->alarm;
  if (alarm != KOLTHERMO_ALARM_OFF && alarm != KOLTHERMO_ALARM_ABOVE &&
      alarm != KOLTHERMO_ALARM_BELOW) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  if (alarm != KOLTHERMO_ALARM_OFF && !std::isfinite(measurement->alarm_c)) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  return KOLTHERMO_THERMO_OK;
}

// The correction the measurement asks for, if any; `ok` false for parameters
// it cannot use (a reflected or atmosphere temperature outside the model
// range included: a measurement has no pixel to fail alone).
std::optional<thermo::ObjectCorrection> CorrectionOf(const KolThermoMeasurement& measurement,
                                                     bool& ok) {
  ok = true;
  if (measurement.correct == 0) return std::nullopt;
  const KolThermoObjectParams& p = measurement.object;
  bool out_of_range = false;
  auto correction = thermo::ObjectCorrection::Make(p.emissivity, p.reflected_c, p.transmission,
                                                   p.atmosphere_c, out_of_range);
  ok = correction.has_value();
  return correction;
}

// The region's values one after another in run order, corrected.
std::vector<float> CorrectedRegion(const float* frame, int width,
                                   const std::vector<thermo::Run>& runs,
                                   const KolThermoMeasurement& measurement,
                                   const thermo::ObjectCorrection& correction) {
  std::vector<float> values;
  for (const thermo::Run& run : runs) {
    const float* start = frame + static_cast<std::size_t>(run.y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(run.x);
    values.insert(values.end(), start, start + run.length);
  }
  const int count = static_cast<int>(values.size());
  // Small regions through the exact inverse; larger ones through the table of
  // the parameters, cached as for frames.
  std::shared_ptr<const thermo::CorrectionTable> table;
  if (count >= thermo::kTableWorthwhile) {
    const KolThermoObjectParams& p = measurement.object;
    table = thermo::CorrectionTableFor(
        {p.emissivity, p.reflected_c, p.transmission, p.atmosphere_c}, correction);
  }
  thermo::CorrectValues(correction, table.get(), values.data(), values.data(), count);
  return values;
}

int Measure(const float* temperatures_c, int width, int height,
            const KolThermoMeasurement* measurement, KolThermoStats* stats) {
  int code = CheckArguments(temperatures_c, width, height, measurement);
  if (code != KOLTHERMO_THERMO_OK) return code;
  if (stats == nullptr) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  bool usable = true;
  const auto correction = CorrectionOf(*measurement, usable);
  if (!usable) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  std::vector<thermo::Run> runs;
  code = thermo::RegionRuns(measurement->region, width, height, runs);
  if (code != KOLTHERMO_THERMO_OK) return code;

  KolThermoStats result{};
  bool found = false;
  if (correction) {
    const std::vector<float> values =
        CorrectedRegion(temperatures_c, width, runs, *measurement, *correction);
    found = thermo::PackedRegionStats(values.data(), width, runs, result);
  } else {
    found = thermo::RegionStats(temperatures_c, width, runs, result);
  }
  if (!found) return KOLTHERMO_THERMO_EMPTY_REGION;
  result.alarm =
      (measurement->alarm == KOLTHERMO_ALARM_ABOVE && result.max_c > measurement->alarm_c) ||
      (measurement->alarm == KOLTHERMO_ALARM_BELOW && result.min_c < measurement->alarm_c);
  *stats = result;
  return KOLTHERMO_THERMO_OK;
}

int LineProfile(const float* temperatures_c, int width, int height,
                const KolThermoMeasurement* measurement, float* profile, int capacity,
                int* length) {
  int code = CheckArguments(temperatures_c, width, height, measurement);
  if (code != KOLTHERMO_THERMO_OK) return code;
  if (length == nullptr || capacity < 0 || (capacity > 0 && profile == nullptr) ||
      measurement->region.kind != KOLTHERMO_REGION_LINE) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  bool usable = true;
  const auto correction = CorrectionOf(*measurement, usable);
  if (!usable) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  std::vector<thermo::Run> points;
  code = thermo::RegionRuns(measurement->region, width, height, points);
  if (code != KOLTHERMO_THERMO_OK) return code;
  const int count = static_cast<int>(points.size());
  *length = count;
  if (count > capacity) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  std::vector<float> values;
  if (correction) {
    values = CorrectedRegion(temperatures_c, width, points, *measurement, *correction);
  } else {
    values.reserve(points.size());
    for (const thermo::Run& p : points) {
      values.push_back(
          temperatures_c[static_cast<std::size_t>(p.y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(p.x)]);
    }
  }
  // Whatever has no temperature reads as -999.0, a non-finite value included.
  for (int i = 0; i < count; ++i) {
    const float value = values[static_cast<std::size_t>(i)];
    profile[i] = std::isfinite(value) ? value : KOLTHERMO_THERMO_NO_TEMPERATURE;
  }
  return KOLTHERMO_THERMO_OK;
}

}  // namespace

// No exception leaves the library: a region whose pixels cannot be listed or
// copied for want of memory is refused like a bad argument.
extern "C" {

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoMeasure(const float* temperatures_c, int width, int height,
                 const KolThermoMeasurement* measurement, KolThermoStats* stats) {
  try {
    return Measure(temperatures_c, width, height, measurement, stats);
  } catch (const std::bad_alloc&) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoLineProfile(
    const float* temperatures_c, int width, int height, const KolThermoMeasurement* measurement,
    float* profile, int capacity, int* length) {
  try {
    return LineProfile(temperatures_c, width, height, measurement, profile, capacity, length);
  } catch (const std::bad_alloc&) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
}

}  // extern "C"
