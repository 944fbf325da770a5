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

/* Parameter ids of KolThermo_GetParam and KolThermo_SetParam: the instance's
 * settings 1 to 18. Every other id addresses the camera's control register
 * given by its low 8 bits. */
#define KOLTHERMO_PARAM_WIDTH 1              /* pixels per row; read only */
#define KOLTHERMO_PARAM_HEIGHT 2             /* rows per frame; read only */
#define KOLTHERMO_PARAM_FRAME_RATE 3         /* frames per second x 100; read only */
#define KOLTHERMO_PARAM_RECORDING_MODE 4     /* the requested recording mode; read only */
#define KOLTHERMO_PARAM_PREVIEWING 5         /* 1 while previewing; read only */
#define KOLTHERMO_PARAM_PAUSED 6             /* the pause flag; read only */
#define KOLTHERMO_PARAM_RECORDING 7          /* 1 while a recording file is open; read only */
#define KOLTHERMO_PARAM_RING_SIZE 8          /* frame slots; writes refused */
#define KOLTHERMO_PARAM_LOOP_INTERVAL 9      /* ms the capture loop sleeps per pass */
#define KOLTHERMO_PARAM_NUC_HOLD 10          /* ms of frames dropped after a NUC */
#define KOLTHERMO_PARAM_SPLIT_SIZE 11        /* MiB at which a video recording splits */
#define KOLTHERMO_PARAM_AUTO_RANGE_FRAMES 12 /* <0 always, 0 fixed, n: next n frames */
#define KOLTHERMO_PARAM_COLOR_LOW 13         /* raw code mapped to black */
#define KOLTHERMO_PARAM_COLOR_HIGH 14        /* raw code mapped to white */
#define KOLTHERMO_PARAM_NUC_ON_DRIFT 15      /* a drift event also requests a NUC */
#define KOLTHERMO_PARAM_RESERVED 16          /* not supported by this camera */
#define KOLTHERMO_PARAM_FETCH_FLIPPED 17     /* 0: fetched rows bottom first; else top first */
#define KOLTHERMO_PARAM_MIRROR_ON_SAVE 18    /* 0: files upright; else mirrored */

/* Still-image formats of KolThermo_SaveA and KolThermo_SaveW. */
#define KOLTHERMO_FORMAT_BMP 0       /* colour picture, BMP */
#define KOLTHERMO_FORMAT_COLOR_RAW 1 /* colour picture, bare pixel dump */
#define KOLTHERMO_FORMAT_JPEG 2      /* colour picture, JPEG quality 100 */
#define KOLTHERMO_FORMAT_JPEG70 3    /* colour picture, JPEG quality 70 */
#define KOLTHERMO_FORMAT_JPEG20 4    /* colour picture, JPEG quality 20 */
#define KOLTHERMO_FORMAT_PNG 5       /* colour picture, PNG */
#define KOLTHERMO_FORMAT_TIFF 6      /* colour picture, TIFF */
#define KOLTHERMO_FORMAT_RAW 7       /* raw codes, bare 16-bit dump */
#define KOLTHERMO_FORMAT_RAW_PNG 8   /* raw codes, 16-bit PNG */
#define KOLTHERMO_FORMAT_RAW_TIFF 9  /* raw codes, 16-bit TIFF */
#define KOLTHERMO_FORMAT_TEMP_I8 10  /* temperatures, signed 8-bit map */
#define KOLTHERMO_FORMAT_TEMP_U8 11  /* temperatures, unsigned 8-bit map */
#define KOLTHERMO_FORMAT_TEMP_I32 12 /* temperatures, 32-bit integer map */
#define KOLTHERMO_FORMAT_TEMP_F32 13 /* temperatures, 32-bit float map */

/* Recording modes of KolThermo_RecA and KolThermo_RecW. */
#define KOLTHERMO_RECORD_NONE 0        /* ends the recording */
#define KOLTHERMO_RECORD_RAW 1         /* 16-bit raw codes, frame after frame */
#define KOLTHERMO_RECORD_VIDEO 2       /* AVI of the colour frames */
#define KOLTHERMO_RECORD_TEMPERATURE 3 /* 32-bit float temperatures, frame after frame */

/* A short description of an event code, for messages people read: "file or
 * table failed" for KOLTHERMO_CODE_FILE_OR_TABLE_FAILED, "unknown code" for
 * any number that is not an event code. Header-only: nothing to link. */
static inline const char* KolThermoCodeName(int code) {
  switch (code) {
    case KOLTHERMO_CODE_NO_FRAME_TO_SAVE:
      return "no frame to save";
    case KOLTHERMO_CODE_CAMERA_NOT_AVAILABLE:
      return "camera not available";
    case KOLTHERMO_CODE_FRAME_TRANSFER_FAILED:
      return "frame transfer failed";
    case KOLTHERMO_CODE_CAMERA_LOST:
      return "camera lost";
    case KOLTHERMO_CODE_INVALID_ARGUMENT:
      return "invalid argument";
    case KOLTHERMO_CODE_BUFFER_OR_MEMORY:
      return "buffer or memory";
    case KOLTHERMO_CODE_THREAD_NOT_STARTED:
      return "thread not started";
    case KOLTHERMO_CODE_DEVICE_CONTROL_FAILED:
      return "device control failed";
    case KOLTHERMO_CODE_FILE_OR_TABLE_FAILED:
      return "file or table failed";
    case KOLTHERMO_CODE_NOT_SUPPORTED:
      return "not supported";
    default:
      return "unknown code";
  }
}

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
