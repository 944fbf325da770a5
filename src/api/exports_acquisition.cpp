// Exports that start, stop and pause acquisition and take single frames.
#include "api/boundary.h"
#include "kolthermo/kolthermo.h"

using kt::CallInstance;
using kt::CKolThermo;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Preview(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) {
    if (instance.StartPreview()) return 1;
    instance.Close();  // a failed start leaves the instance closed and idle
    return 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Close(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) { return instance.Close() ? 1 : 0; });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Pause(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) { return instance.Pause() ? 1 : 0; });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Start(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) { return instance.Start() ? 1 : 0; });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_OneShot(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) { return instance.OneShot(); });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Trigger(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) { return instance.Trigger(); });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetNewID(int id) {
  return CallInstance(id, 0, [](CKolThermo& instance) { return instance.GetNewID(); });
}

}  // extern "C"
