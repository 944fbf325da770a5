#include "device/kol_cam_sdk.h"

namespace kt {

int CKolCamV7R2KTHERMOSdk::IsPresent(int /*index*/) const { return 0; }

int CKolCamV7R2KTHERMOSdk::ReadControlRegister(int /*address*/, uint8_t* value) {
  if (value != nullptr) *value = 0;
  return 0;
}

int CKolCamV7R2KTHERMOSdk::WriteControlRegister(int /*address*/, int /*value*/) { return 0; }

int CKolCamV7R2KTHERMOSdk::ReadInternalTemperatureRaw(uint16_t* /*value*/) { return 0; }

}  // namespace kt
