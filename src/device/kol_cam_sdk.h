// Device access for one camera: the only code that talks to the camera's
// driver. The driver transport and the sensor commands are not connected yet:
// until they are, the object behaves as with no camera attached (nothing
// present, every register request fails).
#pragma once

#include <cstdint>

namespace kt {

class CKolCamV7R2KTHERMOSdk {
 public:
  CKolCamV7R2KTHERMOSdk() = default;
  CKolCamV7R2KTHERMOSdk(const CKolCamV7R2KTHERMOSdk&) = delete;
  CKolCamV7R2KTHERMOSdk& operator=(const CKolCamV7R2KTHERMOSdk&) = delete;

  // 1 when `index` names a slot 0..7 in which a camera was found, else 0.
  int IsPresent(int index) const;
  // Control registers: 1 on success, 0 on failure (a failed read stores 0).
  int ReadControlRegister(int address, uint8_t* value);
  int WriteControlRegister(int address, int value);
  // The sensor's raw internal-temperature reading: 1 on success, 0 on failure
  // (the value is then left untouched).
  int ReadInternalTemperatureRaw(uint16_t* value);
};

}  // namespace kt
