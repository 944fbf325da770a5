// The calibration table of one instance. Table loading, conversion and drift
// compensation build on this; for now it holds what an instance sets when it is
// initialised: the reference to the recorded internal temperature and which
// point list conversions read.
#pragma once

#include <atomic>

namespace kt {

class CThermoTable {
 public:
  enum class ActiveList { kBase, kCompensated };

  CThermoTable() = default;
  CThermoTable(const CThermoTable&) = delete;
  CThermoTable& operator=(const CThermoTable&) = delete;

  // The instance's recorded internal temperature, read by drift compensation.
  void SetRecordedTemperatureSource(const std::atomic<float>* source) {
    recorded_temperature_.store(source, std::memory_order_release);
  }
  const std::atomic<float>* recorded_temperature_source() const {
    return recorded_temperature_.load(std::memory_order_acquire);
  }

  void SelectActiveList(ActiveList list) { active_list_.store(list, std::memory_order_release); }
  ActiveList active_list() const { return active_list_.load(std::memory_order_acquire); }

 private:
  std::atomic<const std::atomic<float>*> recorded_temperature_{nullptr};
  std::atomic<ActiveList> active_list_{ActiveList::kBase};
};

}  // namespace kt
