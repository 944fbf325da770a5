// CThermoTable's publication of states: every change is a complete new state
// built aside under writer_lock_ and swapped in under state_lock_.
#include "thermal/thermo_table.h"

#include <new>

namespace kt {

CThermoTable::CThermoTable() : state_(std::make_shared<const ThermoTableState>()) {}

std::shared_ptr<const ThermoTableState> CThermoTable::Snapshot() const {
  MutexLock lock(state_lock_);
  return state_;
}

void CThermoTable::Install(std::shared_ptr<const ThermoTableState> state) {
  std::shared_ptr<const ThermoTableState> previous;
  {
    MutexLock lock(state_lock_);
    previous = std::move(state_);
    state_ = std::move(state);
  }
  // `previous` is freed here, outside the lock, unless a reader still holds it.
}

float CThermoTable::LookupTemperature(uint16_t raw) const { return Snapshot()->Lookup(raw); }

float CThermoTable::Interpolate(int32_t raw) const { return Snapshot()->Interpolate(raw); }

void CThermoTable::SetRecordedTemperatureSource(const std::atomic<float>* source) {
  recorded_temperature_.store(source, std::memory_order_release);
}

const std::atomic<float>* CThermoTable::recorded_temperature_source() const {
  return recorded_temperature_.load(std::memory_order_acquire);
}

void CThermoTable::SelectActiveList(ActiveList list) {
  const bool read_compensated = list == ActiveList::kCompensated;
  MutexLock writer(writer_lock_);
  const std::shared_ptr<const ThermoTableState> current = Snapshot();
  if (current->read_compensated == read_compensated) return;
  try {
    auto next = std::make_shared<ThermoTableState>(*current);
    next->read_compensated = read_compensated;
    // The lookup table stays as built; only Interpolate follows the selector.
    if (&next->active_points() != &next->base_points ||
        &current->active_points() != &current->base_points) {
      next->PrepareInterpolation();
      next->PrepareCodeTemperatures();
    }
    Install(std::move(next));
  } catch (const std::bad_alloc&) {
    // Out of memory: the selector keeps its value rather than half-switching.
  }
}

CThermoTable::ActiveList CThermoTable::active_list() const {
  return Snapshot()->read_compensated ? ActiveList::kCompensated : ActiveList::kBase;
}

}  // namespace kt
