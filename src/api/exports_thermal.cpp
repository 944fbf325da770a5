// Exports of temperature measurement: calibration tables, NUC, internal temperature.
#include "api/boundary.h"
#include "api/narrow_strings.h"
#include "api/wide_chars.h"
#include "kolthermo/kolthermo.h"

using kt::CallInstance;
using kt::CKolThermo;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetTableW(int id, const KolThermoWChar* path) {
  return CallInstance(
      id, 0, [path](CKolThermo& instance) { return instance.SetTable(kt::AsUtf16(path)) ? 1 : 0; });
}

// Converted inside the call on the instance, so that running out of memory
// for the wide copy leaves code 6 behind like any other failure.
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetTableA(int id, const char* path) {
  return CallInstance(id, 0, [path](CKolThermo& instance) {
    const kt::WideArgument wide(path);
    return instance.SetTable(wide.get()) ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Nuc(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) { return instance.StartNucHold() ? 1 : 0; });
}

KOLTHERMO_API float KOLTHERMO_CALL KolThermo_GetInternalTemperature(int id, int* status) {
  return CallInstance(id, 0.0f, [status](CKolThermo& instance) {
    float celsius = 0.0f;
    if (!instance.ReadInternalTemperature(&celsius)) {
      if (status != nullptr) *status = 0;
      instance.Raise(kt::EventCode::kDeviceControlFailed);
      return 0.0f;
    }
    if (status != nullptr) *status = 1;
    return celsius;
  });
}

}  // extern "C"
