/*
 * KolThermo SDK: the C interface of the KolThermo long-wave-infrared USB camera
 * (384 x 288 pixels, 14-bit raw codes).
 *
 * Every function except KolThermo_GetDllVersion and KolThermo_Initialize takes
 * an instance ID first. Results: 1 success, 0 failure (the cause is queued as
 * an event code, read it with KolThermo_GetLastError), unless stated otherwise.
 * An unknown instance ID returns 0 (0.0 from KolThermo_GetInternalTemperature)
 * and queues nothing.
 *
 * Strings: the A functions take narrow strings in the system code page (UTF-8
 * off Windows), the W functions UTF-16 strings (KolThermoWChar).
 *
 * This header is plain C99 and may be included from C and C++.
 */
#ifndef KOLTHERMO_KOLTHERMO_H_
#define KOLTHERMO_KOLTHERMO_H_

#ifdef _WIN32
#include <windows.h>
#define KOLTHERMO_CALL __cdecl
typedef HWND KolThermoHWND;
typedef wchar_t KolThermoWChar;
#define KOLTHERMO_API
#else
#include <stdint.h>
#define KOLTHERMO_CALL
/* Off Windows a window is an opaque handle; see kolthermo_host.h. */
typedef struct KolThermoHostWindow_* KolThermoHWND;
#ifdef __cplusplus
typedef char16_t KolThermoWChar;
#else
typedef uint_least16_t KolThermoWChar;
#endif
#if defined(KOLTHERMO_BUILDING_LIBRARY)
#define KOLTHERMO_API __attribute__((visibility("default")))
#else
#define KOLTHERMO_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Window messages posted to the host window. */
#define KOLTHERMO_MSG_FRAME_READY 0x8002 /* lParam: frame ID */
#define KOLTHERMO_MSG_EVENT 0x8003       /* lParam: event code */

/* Event codes returned by KolThermo_GetLastError (newest first). */
#define KOLTHERMO_CODE_NO_FRAME_TO_SAVE 1
#define KOLTHERMO_CODE_CAMERA_NOT_AVAILABLE 2
#define KOLTHERMO_CODE_FRAME_TRANSFER_FAILED 3
#define KOLTHERMO_CODE_CAMERA_LOST 4
#define KOLTHERMO_CODE_INVALID_ARGUMENT 5
#define KOLTHERMO_CODE_BUFFER_OR_MEMORY 6
#define KOLTHERMO_CODE_THREAD_NOT_STARTED 7
#define KOLTHERMO_CODE_DEVICE_CONTROL_FAILED 8
#define KOLTHERMO_CODE_FILE_OR_TABLE_FAILED 9
#define KOLTHERMO_CODE_NOT_SUPPORTED 10

/* Constant returned by KolThermo_GetDllVersion. */
#define KOLTHERMO_DLL_VERSION 1967181

/* Instances */
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Initialize(KolThermoHWND host_window);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Release(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetDllVersion(void);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetLastError(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetWindowHandle(int id, KolThermoHWND host_window);
/* Not supported by this camera: always 0 with code 10; camera_type is not read. */
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetCameraType(int id, int camera_type);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetParam(int id, int param_id, int value);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetParam(int id, int param_id);

/* Cameras */
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_IsCameraEnableA(int id, int slot, char* name,
                                                           int size_bytes);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_IsCameraEnableW(int id, int slot, KolThermoWChar* name,
                                                           int size_chars);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetCameraNumber(int id, int slot);

/* Acquisition */
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Preview(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Close(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Pause(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Start(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_OneShot(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Trigger(int id);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetNewID(int id);

/* Frames */
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetRaw(int id, int frame_id, unsigned short* buffer,
                                                  unsigned int size_bytes);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetColor(int id, int frame_id, unsigned char* buffer,
                                                    unsigned int size_bytes);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_GetTemperature(int id, int frame_id, float* buffer,
                                                          unsigned int size_bytes);

/* Temperature */
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetTableA(int id, const char* path);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SetTableW(int id, const KolThermoWChar* path);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_Nuc(int id);
KOLTHERMO_API float KOLTHERMO_CALL KolThermo_GetInternalTemperature(int id, int* status);

/* Files */
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SaveA(int id, const char* path, int format);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_SaveW(int id, const KolThermoWChar* path, int format);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_RecA(int id, const char* path, int mode);
KOLTHERMO_API int KOLTHERMO_CALL KolThermo_RecW(int id, const KolThermoWChar* path, int mode);

#ifdef __cplusplus
}
#endif

#endif /* KOLTHERMO_KOLTHERMO_H_ */
