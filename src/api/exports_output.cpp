// Exports that save stills and record sequences.
#include "api/boundary.h"
#include "api/narrow_strings.h"
#include "api/wide_chars.h"
#include "kolthermo/kolthermo.h"

using kt::CallInstance;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SaveW(int id, const KolThermoWChar* path, int format) {
  return CallInstance(
      id, 0, [=](kt::CKolThermo& instance) { return instance.Save(kt::AsUtf16(path), format); });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SaveA(int id, const char* path, int format) {
  try {
    const kt::WideArgument wide(path);
    return KolThermo_SaveW(id, reinterpret_cast<const KolThermoWChar*>(wide.get()), format);
  } catch (...) {
    return 0;
  }
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_RecW(int id, const KolThermoWChar* path, int mode) {
  return CallInstance(id, 0, [=](kt::CKolThermo& instance) {
    return instance.SetRecording(kt::AsUtf16(path), mode);
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_RecA(int id, const char* path, int mode) {
  try {
    const kt::WideArgument wide(path);
    return KolThermo_RecW(id, reinterpret_cast<const KolThermoWChar*>(wide.get()), mode);
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
