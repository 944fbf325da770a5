/*
 * KolThermo thermography: radiometric files that other tools read.
 *
 *  - a 32-bit float TIFF of temperatures in degrees Celsius;
 *  - a 16-bit TIFF of the raw codes;
 *  - a CSV of temperatures (one line per row, comma separated);
 *  - a radiometric recording: a multi-page float TIFF, one page per frame,
 *    written as BigTIFF when it may pass 4 GiB;
 *  - a picture (PNG, BMP or JPEG, by the file's extension).
 * Every file is written top row first: the caller's first row must be the
 * top of the picture. TIFF files carry the frame's metadata in standard tags
 * (ImageDescription as "key=value" lines, DateTime, Software; a float file
 * also SampleFormat IEEEFP), CSV files in leading lines starting with '#'.
 *
 * Every function refuses with KOLTHERMO_THERMO_INVALID_ARGUMENT, creating no
 * file, a null or empty path, null pixels, a width or height below 1, more
 * than 67108864 (2^26) pixels, and a frame time outside 1970 to 9999. `info`
 * may be NULL: the file then says only its units. Temperatures of -999.0 (no
 * temperature) are written as -999.0 in every format.
 *
 * Paths are UTF-8. Functions writing one file keep no state and may be called
 * from any thread at once; one recording belongs to one thread at a time.
 * This header is plain C99 and may be included from C and C++.
 */
#ifndef KOLTHERMO_KOLTHERMO_RADIOMETRIC_H_
#define KOLTHERMO_KOLTHERMO_RADIOMETRIC_H_

#include "kolthermo/kolthermo_thermography.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A further return code: the file could not be opened, written or closed.
 * A file that failed is removed rather than left half written. */
#define KOLTHERMO_THERMO_FILE_ERROR 6

/* The frame's metadata, written with its pixels. */
typedef struct KolThermoFrameInfo {
  unsigned int frame_id;
  double time_s;    /* seconds since 1970-01-01 UTC, with fraction */
  float internal_c; /* the sensor's internal temperature */
  float emissivity; /* the object parameters applied (1 = none) */
  float reflected_c;
  float transmission;
  float atmosphere_c;
  const char* table; /* the calibration table's file name, or NULL */
} KolThermoFrameInfo;

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoWriteCelsiusTiff(const char* path, const float* temperatures_c, int width, int height,
                          const KolThermoFrameInfo* info);
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoWriteRaw16Tiff(const char* path, const unsigned short* raw, int width, int height,
                        const KolThermoFrameInfo* info);
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoWriteCelsiusCsv(const char* path, const float* temperatures_c, int width, int height,
                         const KolThermoFrameInfo* info);
/* rgb: 3 bytes per pixel, R, G, B, top row first. The format follows the
 * extension, in any case: .png, .bmp, .jpg or .jpeg (quality 90); any other
 * is refused (KOLTHERMO_THERMO_INVALID_ARGUMENT), as is a JPEG side above
 * 65500 or a PNG side above 1000000. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoWritePicture(const char* path,
                                                                     const unsigned char* rgb,
                                                                     int width, int height);

/* A radiometric recording. Open, add frames (all of the size given at open),
 * close. `max_frames` is the most frames the caller will add: a classic TIFF
 * is written when they fit in 4 GiB, a BigTIFF otherwise or when it is 0
 * (unknown). Adding a frame beyond `max_frames` (when not 0) is refused.
 * Close also frees the recording after a failure; a recording that failed
 * keeps every page added before the failure readable. A frame beyond
 * `max_frames` gets KOLTHERMO_THERMO_OUT_OF_RANGE and is not written; after a
 * failed write every later Add gets KOLTHERMO_THERMO_FILE_ERROR. A recording
 * closed without a single page is no TIFF and is removed.
 * KolThermoTiffRecordingOpen is KolThermoTiffRecordingOpenLimited with
 * `max_frames` 0. */
typedef struct KolThermoTiffRecording KolThermoTiffRecording;
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoTiffRecordingOpen(
    const char* path, int width, int height, KolThermoTiffRecording** recording);
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoTiffRecordingOpenLimited(
    const char* path, int width, int height, int max_frames, KolThermoTiffRecording** recording);
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoTiffRecordingAdd(
    KolThermoTiffRecording* recording, const float* temperatures_c, const KolThermoFrameInfo* info);
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoTiffRecordingClose(KolThermoTiffRecording* recording);

#ifdef __cplusplus
}
#endif

#endif /* KOLTHERMO_KOLTHERMO_RADIOMETRIC_H_ */
