// Frame fetches only hosts off Windows get: the false-colour picture in the
// red, green, blue order their image libraries take, copied in one pass so a
// host never reorders the pixels again after the library's copy.
#include "api/boundary.h"
#include "kolthermo/kolthermo_host.h"

using kt::CallInstance;
using kt::CKolThermo;

extern "C" {

KOLTHERMO_API int KolThermoHost_GetColorRGB(int id, int frame_id, unsigned char* buffer,
                                            unsigned int size_bytes) {
  return CallInstance(id, 0, [=](CKolThermo& instance) {
    return instance.GetColorRgb(frame_id, buffer, size_bytes) ? 1 : 0;
  });
}

}  // extern "C"
