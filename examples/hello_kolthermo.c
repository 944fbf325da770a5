/*
 * hello_kolthermo: the smallest complete host of the KolThermo SDK.
 *
 * Creates a camera instance, prints the library version, the instance ID and
 * every instance parameter, reports the event codes the instance queued while
 * it started (on Linux also the messages posted to the host window), then
 * releases the instance. Exits 0 when the library answered as documented.
 *
 * Written in plain C99 to show that the public headers need nothing more.
 * On Windows a host passes its own window (NULL here: no messages are posted);
 * elsewhere the SDK provides a host message window (kolthermo_host.h).
 */
#include <stdio.h>

#include "kolthermo/kolthermo.h"
#ifndef _WIN32
#include "kolthermo/kolthermo_host.h"
#endif

/* A misbehaving library must not keep this host looping for ever. */
#define MAX_EVENTS_SHOWN 1000

/* The instance's settings, KOLTHERMO_PARAM_WIDTH to KOLTHERMO_PARAM_MIRROR_ON_SAVE. */
struct Parameter {
  int id;
  const char* label;
};

static const struct Parameter kParameters[] = {
    {KOLTHERMO_PARAM_WIDTH, "image width (pixels)"},
    {KOLTHERMO_PARAM_HEIGHT, "image height (pixels)"},
    {KOLTHERMO_PARAM_FRAME_RATE, "frame rate (fps x 100)"},
    {KOLTHERMO_PARAM_RECORDING_MODE, "recording mode"},
    {KOLTHERMO_PARAM_PREVIEWING, "previewing"},
    {KOLTHERMO_PARAM_PAUSED, "paused"},
    {KOLTHERMO_PARAM_RECORDING, "recording file open"},
    {KOLTHERMO_PARAM_RING_SIZE, "frame ring size (slots)"},
    {KOLTHERMO_PARAM_LOOP_INTERVAL, "capture loop interval (ms)"},
    {KOLTHERMO_PARAM_NUC_HOLD, "NUC hold time (ms)"},
    {KOLTHERMO_PARAM_SPLIT_SIZE, "recording split size (MiB)"},
    {KOLTHERMO_PARAM_AUTO_RANGE_FRAMES, "auto-range frame count"},
    {KOLTHERMO_PARAM_COLOR_LOW, "low colour bound (raw)"},
    {KOLTHERMO_PARAM_COLOR_HIGH, "high colour bound (raw)"},
    {KOLTHERMO_PARAM_NUC_ON_DRIFT, "NUC on drift"},
    {KOLTHERMO_PARAM_RESERVED, "reserved"},
    {KOLTHERMO_PARAM_FETCH_FLIPPED, "fetch row order"},
    {KOLTHERMO_PARAM_MIRROR_ON_SAVE, "mirror on save"},
};
#define PARAMETER_COUNT ((int)(sizeof kParameters / sizeof kParameters[0]))

/* Prints the queued event codes, newest first; returns how many there were. */
static int PrintEvents(int id) {
  int count = 0;
  int code;
  while (count < MAX_EVENTS_SHOWN && (code = KolThermo_GetLastError(id)) != 0) {
    printf("  event code %2d: %s\n", code, KolThermoCodeName(code));
    ++count;
  }
  if (count == 0) {
    printf("  no event codes waiting\n");
  }
  return count;
}

#ifndef _WIN32
/* Prints the messages waiting in the host window, oldest first. */
static void PrintMessages(KolThermoHWND window) {
  KolThermoHostMessage message;
  int count = 0;
  while (count < MAX_EVENTS_SHOWN &&
         KolThermoHost_WaitMessage(window, 0, &message) == KOLTHERMO_HOST_MESSAGE) {
    if (message.message == KOLTHERMO_MSG_EVENT) {
      printf("  message 0x%04X: event code %d (%s)\n", message.message, (int)message.lparam,
             KolThermoCodeName((int)message.lparam));
    } else if (message.message == KOLTHERMO_MSG_FRAME_READY) {
      printf("  message 0x%04X: frame %ld ready\n", message.message, (long)message.lparam);
    } else {
      printf("  message 0x%04X: lParam %ld\n", message.message, (long)message.lparam);
    }
    ++count;
  }
  if (count == 0) {
    printf("  no messages waiting\n");
  }
}
#endif

int main(void) {
  KolThermoHWND window = NULL;
  int version;
  int id;
  int parameter;
  int ok = 1;

#ifndef _WIN32
  window = KolThermoHost_CreateWindow();
  if (window == NULL) {
    fprintf(stderr, "hello_kolthermo: cannot create a host message window\n");
    return 1;
  }
#endif

  version = KolThermo_GetDllVersion();
  printf("KolThermo library version %d (0x%08X)\n", version, (unsigned int)version);
  if (version != KOLTHERMO_DLL_VERSION) {
    fprintf(stderr, "hello_kolthermo: the library is not the one this header describes (%d)\n",
            KOLTHERMO_DLL_VERSION);
    ok = 0;
  }

  id = KolThermo_Initialize(window);
  if (id == 0) {
    fprintf(stderr, "hello_kolthermo: KolThermo_Initialize failed\n");
    ok = 0;
  } else {
    printf("instance ID %d\n", id);

    printf("parameters:\n");
    for (parameter = 0; parameter < PARAMETER_COUNT; ++parameter) {
      printf("  %2d  %-28s %d\n", kParameters[parameter].id, kParameters[parameter].label,
             KolThermo_GetParam(id, kParameters[parameter].id));
    }

    printf("event codes (newest first):\n");
    PrintEvents(id);

    if (KolThermo_Release(id) != 1) {
      fprintf(stderr, "hello_kolthermo: KolThermo_Release failed\n");
      ok = 0;
    } else {
      printf("instance %d released\n", id);
    }
  }

#ifndef _WIN32
  printf("messages posted to the host window:\n");
  PrintMessages(window);
  if (KolThermoHost_DestroyWindow(window) != 1) {
    fprintf(stderr, "hello_kolthermo: cannot destroy the host message window\n");
    ok = 0;
  }
#endif

  return ok ? 0 : 1;
}
