// Exports that list and select cameras.
#include <vector>

#include "api/boundary.h"
#include "api/wide_chars.h"
#include "kolthermo/kolthermo.h"
#include "platform/text.h"

using kt::CallInstance;
using kt::CKolThermo;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_IsCameraEnableW(int id, int slot, KolThermoWChar* name,
                                                           int size_chars) {
  return CallInstance(id, 0, [=](CKolThermo& instance) {
    return instance.IsCameraEnable(slot, kt::AsUtf16(name), size_chars) ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_IsCameraEnableA(int id, int slot, char* name,
                                                           int size_bytes) {
  return CallInstance(id, 0, [=](CKolThermo& instance) {
    // A size the wide operation would refuse is refused before any allocation.
    if (size_bytes < CKolThermo::kCameraNameChars || name == nullptr) {
      return instance.IsCameraEnable(slot, nullptr, size_bytes) ? 1 : 0;
    }
    // The wide name never needs more than its 18 characters, whatever the
    // caller's buffer size: the wide copy is capped there.
    std::vector<char16_t> wide(CKolThermo::kCameraNameChars, u'\0');
    const bool found = instance.IsCameraEnable(slot, wide.data(), static_cast<int>(wide.size()));
    if (found) kt::platform::WideToNarrow(wide.data(), name, size_bytes);
    return found ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetCameraNumber(int id, int slot) {
  return CallInstance(
      id, 0, [slot](CKolThermo& instance) { return instance.SetCameraNumber(slot) ? 1 : 0; });
}

}  // extern "C"
