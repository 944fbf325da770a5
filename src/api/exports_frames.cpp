// Exports that hand a frame to the host by frame ID.
#include "api/boundary.h"
#include "kolthermo/kolthermo.h"

using kt::CallInstance;
using kt::CKolThermo;

extern "C" {

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetRaw(int id, int frame_id, unsigned short* buffer,
                                                  unsigned int size_bytes) {
  return CallInstance(id, 0, [=](CKolThermo& instance) {
    return instance.GetRaw(frame_id, buffer, size_bytes) ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetColor(int id, int frame_id, unsigned char* buffer,
                                                    unsigned int size_bytes) {
  return CallInstance(id, 0, [=](CKolThermo& instance) {
    return instance.GetColor(frame_id, buffer, size_bytes) ? 1 : 0;
  });
}

KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetTemperature(int id, int frame_id, float* buffer,
                                                          unsigned int size_bytes) {
  return CallInstance(id, 0, [=](CKolThermo& instance) {
    return instance.GetTemperature(frame_id, buffer, size_bytes) ? 1 : 0;
  });
}

}  // extern "C"
