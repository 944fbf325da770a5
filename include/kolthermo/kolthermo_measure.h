/*
 * KolThermo thermography: measurements on a temperature frame (spot, box,
 * ellipse, line) with statistics, the places of the extremes and an alarm.
 *
 * A frame is `width` x `height` temperatures in degrees Celsius, row after
 * row; (x, y) = (0, 0) is its first value and x counts along a row. Whether
 * that first row is the top of the picture is the caller's choice (the
 * command-line tool and the Python package hand over top row first).
 * -999.0 (no temperature) never takes part in a statistic, nor does a value
 * that is not finite. A frame may hold at most INT_MAX pixels.
 *
 * The functions keep no state and may be called from any thread at once.
 * This header is plain C99 and may be included from C and C++.
 */
#ifndef KOLTHERMO_KOLTHERMO_MEASURE_H_
#define KOLTHERMO_KOLTHERMO_MEASURE_H_

#include "kolthermo/kolthermo_thermography.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Further return codes of the measurement functions. */
/* The region reaches outside the frame, or has a size below 1. */
#define KOLTHERMO_THERMO_OUTSIDE_FRAME 3
/* The region holds no pixel with a temperature. */
#define KOLTHERMO_THERMO_EMPTY_REGION 4

/* Kinds of region. */
#define KOLTHERMO_REGION_SPOT 0    /* the disc of `radius` around (x, y) */
#define KOLTHERMO_REGION_BOX 1     /* x, y, width, height */
#define KOLTHERMO_REGION_ELLIPSE 2 /* the ellipse inscribed in that box */
#define KOLTHERMO_REGION_LINE 3    /* (x, y) to (end_x, end_y), both included */

/* Alarm modes. */
#define KOLTHERMO_ALARM_OFF 0
#define KOLTHERMO_ALARM_ABOVE 1 /* raised when the maximum is above alarm_c */
#define KOLTHERMO_ALARM_BELOW 2 /* raised when the minimum is below alarm_c */

typedef struct KolThermoRegion {
  int kind;          /* KOLTHERMO_REGION_* */
  int x, y;          /* spot: centre; box, ellipse: left, top; line: start */
  int width, height; /* box, ellipse: size in pixels, at least 1 */
  int end_x, end_y;  /* line: end point */
  int radius;        /* spot: averaging radius in pixels, 0 = the one pixel */
} KolThermoRegion;

typedef struct KolThermoMeasurement {
  KolThermoRegion region;
  int correct;                  /* nonzero: correct each pixel with `object` first */
  KolThermoObjectParams object; /* emissivity, reflected, atmosphere */
  int alarm;                    /* KOLTHERMO_ALARM_* */
  float alarm_c;                /* threshold of the alarm */
} KolThermoMeasurement;

typedef struct KolThermoStats {
  float min_c, max_c;
  int min_x, min_y; /* first minimum in row order (a line: in path order) */
  int max_x, max_y; /* first maximum in the same order */
  double mean_c;
  double stddev_c; /* population standard deviation */
  int count;       /* pixels with a temperature that took part */
  int alarm;       /* 1 when the alarm condition holds, else 0 */
} KolThermoStats;

/* Measures one region of a frame. On success fills *stats and returns
 * KOLTHERMO_THERMO_OK; otherwise returns a code and leaves *stats alone:
 * INVALID_ARGUMENT (null pointer, bad kind or alarm, bad object parameters,
 * frame size below 1, no memory for the region), OUTSIDE_FRAME,
 * EMPTY_REGION. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoMeasure(const float* temperatures_c, int width, int height,
                 const KolThermoMeasurement* measurement, KolThermoStats* stats);

/* The temperatures along a line region, in path order (corrected when the
 * measurement asks for it; -999.0 where there is none). *length gets the
 * number of points; when it exceeds `capacity` nothing is written to
 * `profile` and KOLTHERMO_THERMO_INVALID_ARGUMENT is returned, so a call with
 * capacity 0 asks for the length. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoLineProfile(
    const float* temperatures_c, int width, int height, const KolThermoMeasurement* measurement,
    float* profile, int capacity, int* length);

#ifdef __cplusplus
}
#endif

#endif /* KOLTHERMO_KOLTHERMO_MEASURE_H_ */
