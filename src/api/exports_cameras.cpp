// Exports that list and select cameras.
#include "api/boundary.h"
#include "kolthermo/kolthermo.h"

using kt::CallInstance;
using kt::CKolThermo;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_IsCameraEnableW(int id, int /*slot*/,
                                                           KolThermoWChar* /*name*/,
                                                           int /*size_chars*/) {
  return CallInstance(id, 0, kt::RaiseNotSupported);
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_IsCameraEnableA(int id, int /*slot*/, char* /*name*/,
                                                           int /*size_bytes*/) {
  return CallInstance(id, 0, kt::RaiseNotSupported);
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetCameraNumber(int id, int /*slot*/) {
  return CallInstance(id, 0, kt::RaiseNotSupported);
}

}  // extern "C"
