// Drift compensation: shifts a version 4000 table's raw codes for the drift of
// the camera's internal temperature away from the calibration temperature, and
// rebuilds the interpolated temperatures and the lookup table over them.
#include <new>

#include "thermal/thermo_table.h"

namespace kt {

bool CThermoTable::CompensateState(ThermoTableState* state) const {
  if (state->version != 4) return false;
  const std::atomic<float>* source = recorded_temperature_source();
  if (source == nullptr) return false;
  const float recorded = source->load(std::memory_order_acquire);
  if (recorded == 0.0f) return false;  // nothing recorded yet

  const float drift = state->tref - recorded;
  const size_t count = std::min(static_cast<size_t>(state->point_count), state->base_points.size());
  std::vector<CalibrationPoint> compensated;
  compensated.reserve(count);
  for (size_t m = 0; m < count; ++m) {
    const CalibrationPoint& base = state->base_points[m];
    // (k1 * t + k0) * d + c, one float operation at a time, in that order.
    float shifted = state->k1 * base.temperature;
    shifted = shifted + state->k0;
    shifted = shifted * drift;
    shifted = shifted + static_cast<float>(base.raw);
    const int32_t raw = shifted > 0.0f ? TruncateToInt32(shifted) : base.raw;
    compensated.push_back({raw, base.temperature});
  }
  state->compensated_points = std::move(compensated);
  state->PrepareInterpolation();
  (void)state->BuildLookup(true);  // fewer than 2 points keep the lookup in use
  return true;
}

bool CThermoTable::Compensate() {
  try {
    MutexLock writer(writer_lock_);
    const std::shared_ptr<const ThermoTableState> current = Snapshot();
    if (current->version != 4) return false;
    auto next = std::make_shared<ThermoTableState>(*current);
    if (!CompensateState(next.get())) return false;
    next->PrepareCodeTemperatures();
    Install(std::move(next));
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace kt
