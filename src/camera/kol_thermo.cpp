#include "camera/kol_thermo.h"

#include <new>

#include "camera/internal_temperature.h"

namespace kt {

CKolThermo::CKolThermo()
    : acquisition_(Acquisition::Collaborators{device_, ring_, recorder_, colour_, table_, display_,
                                              codes_, settings_, *this,
                                              recorded_internal_temperature_}) {}

CKolThermo::~CKolThermo() {
  // The capture thread uses every part: it ends before any of them goes.
  Close();
}

float CKolThermo::InternalTemperatureFromRaw(uint16_t raw) {
  return kt::InternalTemperatureFromRaw(raw);
}

bool CKolThermo::ReadInternalTemperature(float* celsius) {
  return kt::ReadInternalTemperature(device_, celsius);
}

bool CKolThermo::Initialize(void* host_window) {
  const bool scratch_created = acquisition_.CreateDisplayScratch();
  bool ring_built = true;
  try {
    ring_.Rebuild();
  } catch (const std::bad_alloc&) {
    ring_built = false;
  }
  SetHostWindow(host_window);
  if (!scratch_created || !ring_built) {
    Raise(EventCode::kBufferOrMemory);
    return false;
  }
  float temperature = 0.0f;
  if (!ReadInternalTemperature(&temperature)) {
    Raise(EventCode::kDeviceControlFailed);
    temperature = 0.0f;
  }
  table_.SetRecordedTemperatureSource(&recorded_internal_temperature_);
  recorded_internal_temperature_.store(temperature);
  table_.SelectActiveList(CThermoTable::ActiveList::kCompensated);
  return true;
}

bool CKolThermo::Close() {
  acquisition_.Close();
  return true;
}

bool CKolThermo::Pause() {
  settings_.pause.store(1);
  return true;
}

bool CKolThermo::Start() {
  settings_.pause.store(0);
  return true;
}

bool CKolThermo::StartNucHold() {
  acquisition_.StartNucHold();
  return true;
}

}  // namespace kt
