/*
 * preview_messages: continuous acquisition driven by the host window's
 * messages (Linux and other systems without Windows' own windows).
 *
 * The SDK announces every acquired frame by posting KOLTHERMO_MSG_FRAME_READY
 * to the host window, with the frame's ID as lParam, and every event code with
 * KOLTHERMO_MSG_EVENT. The host answers a frame-ready message by fetching the
 * frame by its ID: here its raw codes and its temperatures, of which the
 * centre pixel is printed. Temperatures need a calibration table: pass one as
 * the second argument (make one with `kolthermo-table --layout 4000 --output
 * camera.tbl`); without it every temperature reads -999.0, "no temperature".
 *
 * Usage: preview_messages [FRAMES [TABLE]]   (FRAMES defaults to 10)
 * Exit status: 0 when FRAMES frames were fetched, 1 otherwise.
 */
#include <stdio.h>
#include <stdlib.h>

#include "kolthermo/kolthermo.h"
#include "kolthermo/kolthermo_host.h"

/* The simulated camera sends 30 frames a second; two seconds without any
 * message means acquisition has stopped. */
#define MESSAGE_TIMEOUT_MS 2000

int main(int argc, char** argv) {
  const int frames_wanted = argc > 1 ? atoi(argv[1]) : 10;
  int frames_fetched = 0;
  int ok;
  int id;
  int width;
  int height;
  size_t pixels;
  unsigned short* raw;
  float* celsius;
  KolThermoHostMessage message;
  KolThermoHWND window;
  if (frames_wanted < 1) {
    fprintf(stderr, "usage: preview_messages [FRAMES [TABLE]]\n");
    return 1;
  }
  window = KolThermoHost_CreateWindow();
  if (window == NULL) {
    fprintf(stderr, "preview_messages: cannot create a host message window\n");
    return 1;
  }
  id = KolThermo_Initialize(window); /* messages go to `window` from now on */
  if (id == 0) {
    fprintf(stderr, "preview_messages: KolThermo_Initialize failed\n");
    KolThermoHost_DestroyWindow(window);
    return 1;
  }
  width = KolThermo_GetParam(id, KOLTHERMO_PARAM_WIDTH);
  height = KolThermo_GetParam(id, KOLTHERMO_PARAM_HEIGHT);
  pixels = (size_t)width * (size_t)height;
  raw = malloc(pixels * sizeof *raw);
  celsius = malloc(pixels * sizeof *celsius);

  ok = raw != NULL && celsius != NULL;
  if (ok && argc > 2 && !KolThermo_SetTableA(id, argv[2])) {
    fprintf(stderr, "preview_messages: cannot load the table %s\n", argv[2]);
    ok = 0;
  }
  if (ok && !KolThermo_Preview(id)) {
    const int code = KolThermo_GetLastError(id);
    fprintf(stderr, "preview_messages: cannot start the preview: event code %d (%s)\n", code,
            KolThermoCodeName(code));
    ok = 0;
  }
  if (ok) {
    printf("previewing %d x %d\n", width, height);
    while (frames_fetched < frames_wanted &&
           KolThermoHost_WaitMessage(window, MESSAGE_TIMEOUT_MS, &message) ==
               KOLTHERMO_HOST_MESSAGE) {
      const int code_or_frame = (int)message.lparam;
      if (message.message == KOLTHERMO_MSG_EVENT) {
        /* KOLTHERMO_CODE_NOT_SUPPORTED arrives at every preview start: an
         * informative event (the camera lacks the reserved parameter). */
        printf("event code %d: %s\n", code_or_frame, KolThermoCodeName(code_or_frame));
      } else if (message.message == KOLTHERMO_MSG_FRAME_READY) {
        const size_t centre = (size_t)(height / 2) * (size_t)width + (size_t)(width / 2);
        /* Both fetch by frame ID; a frame that has already left the ring of
         * recent frames fails with KOLTHERMO_CODE_INVALID_ARGUMENT and is simply
         * skipped. */
        if (KolThermo_GetRaw(id, code_or_frame, raw, (unsigned int)(pixels * sizeof *raw)) &&
            KolThermo_GetTemperature(id, code_or_frame, celsius,
                                     (unsigned int)(pixels * sizeof *celsius))) {
          ++frames_fetched;
          printf("frame %d ready: centre raw %u, %.1f C\n", code_or_frame, raw[centre],
                 celsius[centre]);
        }
      }
    }
    KolThermo_Close(id); /* stops acquisition */
  }

  KolThermo_Release(id);
  /* Messages posted before the stop may still wait; destroying drops them. */
  KolThermoHost_DestroyWindow(window);
  free(raw);
  free(celsius);
  printf("%d frame(s) fetched\n", frames_fetched);
  return ok && frames_fetched >= frames_wanted ? 0 : 1;
}
