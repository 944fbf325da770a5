#include "camera/kol_thermo.h"

#include <new>

#include "platform/clock.h"

namespace kt {

CKolThermo::CKolThermo() : rate_window_start_(platform::TimerTickMs()) {}

CKolThermo::~CKolThermo() {
  Close();
  MutexLock lock(frame_lock_);
  for (auto& slot : ring_) {
    slot->raw.Release();
    slot->colour.Release();
  }
  ring_.clear();
  spare_raw_.Release();
  display_scratch_.reset();
}

float CKolThermo::InternalTemperatureFromRaw(uint16_t raw) {
  // The sensor's calibration: computed in double precision, kept as float.
  return static_cast<float>(raw * 3.6 / 32767.0 * (-206.685) + 473.874);
}

bool CKolThermo::ReadInternalTemperature(float* celsius) {
  uint16_t raw = 0;
  if (device_.ReadInternalTemperatureRaw(&raw) == 0) return false;
  const float value = InternalTemperatureFromRaw(raw);
  if (value == 0.0f) return false;
  *celsius = value;
  return true;
}

void CKolThermo::RebuildFrameRing() {
  const int32_t size = ring_size_.load();
  std::vector<std::unique_ptr<FrameSlot>> fresh;
  fresh.reserve(size > 0 ? static_cast<size_t>(size) : 0u);
  for (int32_t i = 0; i < size; ++i) fresh.push_back(std::make_unique<FrameSlot>());
  MutexLock lock(frame_lock_);
  for (auto& slot : ring_) {
    slot->raw.Release();
    slot->colour.Release();
  }
  ring_ = std::move(fresh);
  current_slot_ = 0;
}

int CKolThermo::Initialize(void* host_window) {
  display_scratch_.reset(new (std::nothrow) CDibSurface());
  bool ring_built = true;
  try {
    RebuildFrameRing();
  } catch (const std::bad_alloc&) {
    ring_built = false;
  }
  SetHostWindow(host_window);
  if (!display_scratch_ || !ring_built) {
    Raise(EventCode::kBufferOrMemory);
    return 0;
  }
  float temperature = 0.0f;
  if (!ReadInternalTemperature(&temperature)) {
    Raise(EventCode::kDeviceControlFailed);
    temperature = 0.0f;
  }
  table_.SetRecordedTemperatureSource(&recorded_internal_temperature_);
  recorded_internal_temperature_.store(temperature);
  table_.SelectActiveList(CThermoTable::ActiveList::kCompensated);
  return 1;
}

int32_t CKolThermo::GetNewID() {
  MutexLock lock(frame_lock_);
  if (ring_.empty()) return 0;
  return ring_[static_cast<size_t>(current_slot_)]->frame_id.load();
}

size_t CKolThermo::ring_slot_count() {
  MutexLock lock(frame_lock_);
  return ring_.size();
}

int CKolThermo::Pause() {
  pause_flag_.store(1);
  return 1;
}

int CKolThermo::Start() {
  pause_flag_.store(0);
  return 1;
}

}  // namespace kt
