/*
 * record: records a short uncompressed AVI video of the live picture.
 *
 * A recording is a request that the capture loop carries out: KolThermo_RecA
 * (path, mode) only stores it, and the loop opens the file with the next
 * frame, writes every frame it publishes, and closes the file when the
 * request changes. So the example asks for a video (KOLTHERMO_RECORD_VIDEO),
 * starts the preview, counts frame-ready messages, then asks for
 * KOLTHERMO_RECORD_NONE and waits until KOLTHERMO_PARAM_RECORDING ("recording
 * file open") drops to 0 before it stops the preview.
 * Closing the preview would also close the file; stopping the recording first
 * lets a host keep its live picture running. A file that cannot be opened
 * shows as event code KOLTHERMO_CODE_FILE_OR_TABLE_FAILED (9).
 *
 * Usage: record [FILE.avi] [FRAMES]   (default: recording.avi, 30 frames)
 * Exit status: 0 when the video was recorded and closed, 1 otherwise.
 */
#include <stdio.h>
#include <stdlib.h>

#include "kolthermo/kolthermo.h"
#include "kolthermo/kolthermo_host.h"

/* The simulated camera sends 30 frames a second. */
#define MESSAGE_TIMEOUT_MS 2000

/* Size of the file at `path` in bytes, or -1. */
static long FileSize(const char* path) {
  long size = -1;
  FILE* file = fopen(path, "rb");
  if (file != NULL) {
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    fclose(file);
  }
  return size;
}

/* Waits for the next frame-ready message; reports event messages on the way.
 * Returns 0 when none came in time or an event said the recording failed. */
static int WaitForFrame(KolThermoHWND window) {
  KolThermoHostMessage message;
  while (KolThermoHost_WaitMessage(window, MESSAGE_TIMEOUT_MS, &message) ==
         KOLTHERMO_HOST_MESSAGE) {
    if (message.message == KOLTHERMO_MSG_FRAME_READY) return 1;
    if (message.message == KOLTHERMO_MSG_EVENT) {
      printf("event code %d: %s\n", (int)message.lparam, KolThermoCodeName((int)message.lparam));
      if (message.lparam == KOLTHERMO_CODE_FILE_OR_TABLE_FAILED) return 0;
    }
  }
  return 0;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "recording.avi";
  const int frames_wanted = argc > 2 ? atoi(argv[2]) : 30;
  int frames = 0;
  int closed = 0;
  int id;
  KolThermoHWND window = KolThermoHost_CreateWindow();
  if (window == NULL || frames_wanted < 1) {
    fprintf(stderr, "usage: record [FILE.avi] [FRAMES]\n");
    return 1;
  }
  id = KolThermo_Initialize(window);
  if (id == 0 || !KolThermo_RecA(id, path, KOLTHERMO_RECORD_VIDEO) || !KolThermo_Preview(id)) {
    fprintf(stderr, "record: cannot start recording\n");
  } else {
    while (frames < frames_wanted && WaitForFrame(window)) ++frames;
    printf("recording open: %s\n",
           KolThermo_GetParam(id, KOLTHERMO_PARAM_RECORDING) ? "yes" : "no");

    /* Stop the recording; the capture loop closes the file at its next frame,
     * writing the measured frame rate and the frame count into the header. */
    KolThermo_RecA(id, path, KOLTHERMO_RECORD_NONE);
    while (!closed && WaitForFrame(window)) {
      closed = KolThermo_GetParam(id, KOLTHERMO_PARAM_RECORDING) == 0;
    }
    KolThermo_Close(id);
  }

  if (id != 0) KolThermo_Release(id);
  KolThermoHost_DestroyWindow(window);
  if (frames < frames_wanted || !closed) {
    fprintf(stderr, "record: recording of %s failed after %d frame(s)\n", path, frames);
    return 1;
  }
  /* Frames published while this host was still reading messages are in the
   * file too, so it holds at least `frames` frames. */
  printf("recorded %d or more frames to %s (%ld bytes)\n", frames, path, FileSize(path));
  return 0;
}
