// The sensor's internal temperature, read through the device. Any thread may
// read it: the device serialises its own exchanges.
#pragma once

#include <cstdint>

#include "device/kol_cam_sdk.h"

namespace kt {

// Converts the sensor's raw internal-temperature value to degrees Celsius.
float InternalTemperatureFromRaw(uint16_t raw);

// The internal temperature in degrees Celsius. False when the device read
// fails or the result is exactly 0.0 (no reading); `celsius` is then unchanged.
bool ReadInternalTemperature(CKolCamV7R2KTHERMOSdk& device, float* celsius);

}  // namespace kt
