/*
 * enumerate: lists the cameras attached to this computer.
 *
 * The SDK looks for cameras at eight device slots, 0 to 7. For each slot,
 * KolThermo_IsCameraEnableA says whether a camera is there and writes its
 * display name, such as "KolThermoV7R2K_01". The example
 * then selects the first camera found with KolThermo_SetCameraNumber, as a
 * host does before it starts acquisition.
 *
 * Off Windows the cameras are simulated: one at slot 0 unless the host
 * attaches more (KolThermoHost_SimAttach in kolthermo_host.h).
 *
 * Exit status: 0 when at least one camera was found and selected, 2 when no
 * camera is attached, 1 when the library failed.
 */
#include <stdio.h>

#include "kolthermo/kolthermo.h"

#define SLOT_COUNT 8

int main(void) {
  char name[64];
  int slot;
  int first_slot = -1;
  int found = 0;
  int code;
  /* Listing cameras needs an instance but no host window. */
  int id = KolThermo_Initialize(NULL);
  if (id == 0) {
    fprintf(stderr, "enumerate: KolThermo_Initialize failed\n");
    return 1;
  }

  for (slot = 0; slot < SLOT_COUNT; ++slot) {
    /* 1 when a camera is present; its name fits easily in 64 bytes. */
    if (KolThermo_IsCameraEnableA(id, slot, name, (int)sizeof name)) {
      printf("slot %d: %s\n", slot, name);
      if (first_slot < 0) first_slot = slot;
      ++found;
    } else {
      printf("slot %d: empty\n", slot);
    }
  }
  printf("%d camera(s) found\n", found);

  if (first_slot >= 0) {
    if (KolThermo_SetCameraNumber(id, first_slot)) {
      printf("selected the camera at slot %d\n", first_slot);
    } else {
      code = KolThermo_GetLastError(id);
      fprintf(stderr, "enumerate: cannot select slot %d: event code %d (%s)\n", first_slot, code,
              KolThermoCodeName(code));
      found = -1;
    }
  }

  KolThermo_Release(id);
  if (found < 0) return 1;
  return found > 0 ? 0 : 2;
}
