// Exports that create, release and configure instances.

#include "api/boundary.h"
#include "kolthermo/kolthermo.h"

using kt::CallInstance;
using kt::CKolThermo;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Initialize(KolThermoHWND host_window) {
  try {
    const int32_t id = kt::GlobalRegistry().Register();
    if (id == 0) return 0;
    // The ID is returned even when initialisation fails: the failure is queued
    // as a code the host can read with it.
    CallInstance(id, 0, [host_window](CKolThermo& instance) {
      return instance.Initialize(static_cast<void*>(host_window)) ? 1 : 0;
    });
    return id;
  } catch (...) {
    return 0;
  }
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Release(int id) {
  try {
    return kt::GlobalRegistry().Release(id);
  } catch (...) {
    return 0;
  }
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetDllVersion(void) { return KOLTHERMO_DLL_VERSION; }

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetLastError(int id) {
  return CallInstance(
      id, 0, [](CKolThermo& instance) { return static_cast<int>(instance.codes().TakeNewest()); });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetWindowHandle(int id, KolThermoHWND host_window) {
  return CallInstance(id, 0, [host_window](CKolThermo& instance) {
    instance.SetHostWindow(static_cast<void*>(host_window));
    return 1;
  });
}

// The library drives one camera model, so there is no type to choose: the call
// is refused with code 10 and changes nothing, whatever the argument. Intended,
// not unfinished: hosts that still make the call learn that it has no effect.
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetCameraType(int id, int /*camera_type*/) {
  return CallInstance(id, 0, [](CKolThermo& instance) {
    instance.Raise(kt::EventCode::kNotSupported);
    return 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetParam(int id, int param_id, int value) {
  return CallInstance(id, 0, [param_id, value](CKolThermo& instance) {
    return instance.SetParam(param_id, value) ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetParam(int id, int param_id) {
  return CallInstance(id, 0, [param_id](CKolThermo& instance) {
    return static_cast<int>(instance.GetParam(param_id));
  });
}

}  // extern "C"
