// Loading a calibration table into an instance.
#include "camera/kol_thermo.h"

namespace kt {

bool CKolThermo::SetTable(const char16_t* path) {
  if (path == nullptr || path[0] == u'\0' || table_.LoadTable(path, 0) == 0) {
    Raise(EventCode::kFileOrTableFailed);
    return false;
  }
  // A new table starts a NUC hold, exactly as KolThermo_Nuc does.
  StartNucHold();
  return true;
}

}  // namespace kt
