// Exports that save stills and record sequences.
#include "api/boundary.h"
#include "api/narrow_strings.h"
#include "api/wide_chars.h"
#include "kolthermo/kolthermo.h"

using kt::CallInstance;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SaveW(int id, const KolThermoWChar* path, int format) {
  return CallInstance(id, 0, [=](kt::CKolThermo& instance) {
    return instance.Save(kt::AsUtf16(path), format) ? 1 : 0;
  });
}

// The narrow forms convert inside the call on the instance, so that running
// out of memory for the wide copy leaves code 6 behind like any other failure.
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SaveA(int id, const char* path, int format) {
  return kt::CallInstance(id, 0, [=](kt::CKolThermo& instance) {
    const kt::WideArgument wide(path);
    return instance.Save(wide.get(), format) ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_RecW(int id, const KolThermoWChar* path, int mode) {
  return CallInstance(id, 0, [=](kt::CKolThermo& instance) {
    return instance.SetRecording(kt::AsUtf16(path), mode) ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_RecA(int id, const char* path, int mode) {
  return kt::CallInstance(id, 0, [=](kt::CKolThermo& instance) {
    const kt::WideArgument wide(path);
    return instance.SetRecording(wide.get(), mode) ? 1 : 0;
  });
}

}  // extern "C"
