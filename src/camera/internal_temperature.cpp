#include "camera/internal_temperature.h"

namespace kt {

float InternalTemperatureFromRaw(uint16_t raw) {
  // The sensor's calibration: computed in double precision, kept as float.
  return static_cast<float>(raw * 3.6 / 32767.0 * (-206.685) + 473.874);
}

bool ReadInternalTemperature(CKolCamV7R2KTHERMOSdk& device, float* celsius) {
  uint16_t raw = 0;
  if (device.ReadInternalTemperatureRaw(&raw) == 0) return false;
  const float value = InternalTemperatureFromRaw(raw);
  if (value == 0.0f) return false;
  *celsius = value;
  return true;
}

}  // namespace kt
