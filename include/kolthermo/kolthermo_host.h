/*
 * KolThermo SDK host extras (not on Windows).
 *
 * Windows hosts receive the library's messages in a window of their own. Here
 * the library offers the same: a host message window that queues the messages
 * posted to it. Pass it to KolThermo_Initialize or KolThermo_SetWindowHandle,
 * then read messages with KolThermoHost_WaitMessage, or watch the file
 * descriptor from poll, GLib, Qt or asyncio: it is readable while messages wait.
 *
 * Plain C99, usable from C and C++.
 */
#ifndef KOLTHERMO_KOLTHERMO_HOST_H_
#define KOLTHERMO_KOLTHERMO_HOST_H_

#ifdef _WIN32
#error "kolthermo_host.h is for hosts off Windows; Windows hosts use their own windows."
#endif

#include <stdint.h>

#include "kolthermo/kolthermo.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A message as posted to a window. */
typedef struct KolThermoHostMessage {
  unsigned int message; /* KOLTHERMO_MSG_FRAME_READY or KOLTHERMO_MSG_EVENT */
  uintptr_t wparam;
  intptr_t lparam;
} KolThermoHostMessage;

/* Most messages a window holds; a post to a full window is dropped and fails. */
#define KOLTHERMO_HOST_QUEUE_LIMIT 10000

/* Results of KolThermoHost_WaitMessage. */
#define KOLTHERMO_HOST_MESSAGE 1
#define KOLTHERMO_HOST_TIMEOUT 0
#define KOLTHERMO_HOST_BAD_WINDOW (-1)

/* Creates a host message window; NULL when out of resources. */
KOLTHERMO_API KolThermoHWND KolThermoHost_CreateWindow(void);

/* Destroys a window and drops its waiting messages. Returns 1, or 0 for a
 * handle that is not a live window. Messages posted afterwards fail. */
KOLTHERMO_API int KolThermoHost_DestroyWindow(KolThermoHWND window);

/* Takes the oldest waiting message. Waits at most timeout_ms milliseconds
 * (0: do not wait; negative: wait without limit). Returns
 * KOLTHERMO_HOST_MESSAGE with *message filled, KOLTHERMO_HOST_TIMEOUT, or
 * KOLTHERMO_HOST_BAD_WINDOW for a handle that is not a live window or a NULL
 * message pointer. A window destroyed while a thread waits on it wakes that
 * thread with KOLTHERMO_HOST_BAD_WINDOW. */
KOLTHERMO_API int KolThermoHost_WaitMessage(KolThermoHWND window, int timeout_ms,
                                            KolThermoHostMessage* message);

/* A file descriptor that polls readable while messages wait; -1 for a handle
 * that is not a live window. It belongs to the window: do not read or close it. */
KOLTHERMO_API int KolThermoHost_GetFd(KolThermoHWND window);

/* Number of messages waiting, or -1 for a handle that is not a live window. */
KOLTHERMO_API int KolThermoHost_PendingCount(KolThermoHWND window);

/* Posts a message without blocking, as the library does. Returns 1, or 0 when
 * the window is not live or its queue is full (the message is dropped). */
KOLTHERMO_API int KolThermoHost_PostMessage(KolThermoHWND window, unsigned int message,
                                            uintptr_t wparam, intptr_t lparam);

/* ---- Frames in the order of hosts' image libraries ------------------------
 *
 * Like KolThermo_GetColor, but red, green, blue pixels packed width * 3 bytes
 * a row (no row padding), rows in the order KOLTHERMO_PARAM_FETCH_FLIPPED
 * selects. Returns 1, or 0 with code 5 (no such frame) or 6 (buffer missing
 * or shorter than width * height * 3 bytes) queued, like KolThermo_GetColor. */
KOLTHERMO_API int KolThermoHost_GetColorRGB(int id, int frame_id, unsigned char* buffer,
                                            unsigned int size_bytes);

/* ---- Simulated cameras ----------------------------------------------------
 *
 * Off Windows the library's cameras are simulated: up to eight at device slots
 * 0 to 7, with one camera at slot 0 when the process starts. These calls
 * change what the library finds there, to develop and test host software
 * without hardware. Each returns 1 on success and 0 for a slot outside 0..7,
 * a slot without a camera, or an argument out of range. */

/* Faults of KolThermoHost_SimSetFault. */
#define KOLTHERMO_SIM_FAULT_SHORT_FRAMES 1          /* next `value` frames arrive short */
#define KOLTHERMO_SIM_FAULT_FAIL_TRANSFERS 2        /* next `value` frame transfers fail */
#define KOLTHERMO_SIM_FAULT_STALL_FRAMES 3          /* value 1: frames stop; 0: they resume */
#define KOLTHERMO_SIM_FAULT_FAIL_REGISTER_READS 4   /* value 1: register reads fail; 0: work */
#define KOLTHERMO_SIM_FAULT_UNPLUG_AFTER_REQUESTS 5 /* unplug after `value` more requests */

/* Scenes of KolThermoHost_SimSetScene. */
#define KOLTHERMO_SIM_SCENE_DEFAULT 0   /* a room with a person, a hot mug, a cold pack */
#define KOLTHERMO_SIM_SCENE_UNIFORM 1   /* every pixel at `celsius` (-40 to 250) */
#define KOLTHERMO_SIM_SCENE_ALL_CODES 2 /* pixel p (top row first) reads raw code p % 16384 */

/* Attaches a fresh camera at a free slot (1 also when one is attached). */
KOLTHERMO_API int KolThermoHost_SimAttach(int slot);
/* Removes the camera; open handles to it fail from then on. */
KOLTHERMO_API int KolThermoHost_SimDetach(int slot);
/* Unplugs the camera (it keeps its state) and plugs it in again. */
KOLTHERMO_API int KolThermoHost_SimUnplug(int slot);
KOLTHERMO_API int KolThermoHost_SimReplug(int slot);
/* Switches a fault on or off (value 0 clears counted faults). */
KOLTHERMO_API int KolThermoHost_SimSetFault(int slot, int fault, int value);
/* One pulse on the trigger input. */
KOLTHERMO_API int KolThermoHost_SimTriggerPulse(int slot);
/* Fixes the internal temperature, or returns it to the warm-up model. */
KOLTHERMO_API int KolThermoHost_SimSetInternalTemperature(int slot, float celsius);
KOLTHERMO_API int KolThermoHost_SimClearInternalTemperature(int slot);
KOLTHERMO_API int KolThermoHost_SimGetInternalTemperature(int slot, float* celsius);
/* Frames per second (0 to 10000; 0 delivers each frame as soon as it is read). */
KOLTHERMO_API int KolThermoHost_SimSetFrameRate(int slot, double frames_per_second);
/* Chooses the scene; `celsius` is used by the uniform scene only. */
KOLTHERMO_API int KolThermoHost_SimSetScene(int slot, int kind, float celsius);
/* Shows the uniform scene with a surface that is not a blackbody: every pixel
 * sees a surface at `celsius` of emissivity `emissivity` (above 0, at most 1)
 * reflecting surroundings at `reflected_c`, so the camera reports the
 * blackbody temperature of eps * L(celsius) + (1 - eps) * L(reflected_c),
 * with L the band radiance over 8 to 14 um. Temperatures -40 to 250. */
KOLTHERMO_API int KolThermoHost_SimSetUniformSurface(int slot, float celsius, float emissivity,
                                                     float reflected_c);

#ifdef __cplusplus
}
#endif

#endif /* KOLTHERMO_KOLTHERMO_HOST_H_ */
