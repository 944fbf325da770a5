// Feeds arbitrary bytes to the calibration-table loader as a table file, for
// the first and the second sub-table, then reads temperatures through whatever
// table is installed. The loader must reject what it cannot read without
// reading outside the buffer, and the table must stay usable either way.
//
// The table answers interpolations from temperatures swept once over all codes
// when its points change; that sweep must match the point-by-point scan bit
// for bit, so every probe is checked against the scan.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "thermal/thermo_table.h"

namespace {

// Codes at both ends of the calibrated range, around a body-temperature code
// of the simulated sensor, and past the range.
constexpr int32_t kFixedProbes[] = {0, 1, 2000, 3530, 8191, 14800, 16383, 16384, 65535, -1};
// Codes at and beside the first few points of the active list, where the scan
// changes its window.
constexpr size_t kPointProbes = 32;

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void CheckCode(const kt::CThermoTable& table, const kt::ThermoTableState& state, int32_t code) {
  volatile float sink = table.LookupTemperature(static_cast<uint16_t>(code));
  static_cast<void>(sink);
  const std::vector<kt::CalibrationPoint>& points = state.active_points();
  const float scanned =
      kt::InterpolatePoints(points.data(), points.size(), state.point_count, code);
  if (!SameBits(state.Interpolate(code), scanned)) __builtin_trap();
}

void ReadTemperatures(const kt::CThermoTable& table) {
  const std::shared_ptr<const kt::ThermoTableState> state = table.Snapshot();
  for (const int32_t code : kFixedProbes) CheckCode(table, *state, code);
  const std::vector<kt::CalibrationPoint>& points = state->active_points();
  for (size_t i = 0; i < points.size() && i < kPointProbes; ++i) {
    for (const int32_t step : {-1, 0, 1}) {
      const int64_t code = static_cast<int64_t>(points[i].raw) + step;
      if (code >= 0 && code < kt::kLookupEntries) {
        CheckCode(table, *state, static_cast<int32_t>(code));
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One table for both loads, so the second load also starts from whatever
  // the first left behind; the recorded internal temperature makes a version
  // 4000 table run its drift compensation.
  static const std::atomic<float> recorded_internal_c{35.0f};
  kt::CThermoTable table;
  table.SetRecordedTemperatureSource(&recorded_internal_c);
  for (const int32_t sub_table : {0, 1}) {
    table.LoadFromBytes(data, size, sub_table);
    ReadTemperatures(table);
  }
  // The instance reads through the compensated list once initialised.
  table.SelectActiveList(kt::CThermoTable::ActiveList::kCompensated);
  table.Compensate();
  ReadTemperatures(table);
  return 0;
}
