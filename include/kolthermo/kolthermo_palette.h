/*
 * KolThermo thermography: false colour from temperatures (palettes, range
 * modes, isotherm) and a colour scale with degree labels beside the picture.
 *
 * Frames are `width` x `height` temperatures in degrees Celsius, row after
 * row; pictures are 3 bytes per pixel in the order R, G, B, rows in the same
 * order as the frame, no padding. -999.0 (no temperature) is drawn black.
 *
 * The functions keep no state and may be called from any thread at once.
 * This header is plain C99 and may be included from C and C++.
 */
#ifndef KOLTHERMO_KOLTHERMO_PALETTE_H_
#define KOLTHERMO_KOLTHERMO_PALETTE_H_

#include "kolthermo/kolthermo_measure.h" /* KOLTHERMO_THERMO_EMPTY_REGION */
#include "kolthermo/kolthermo_thermography.h"

#ifdef __cplusplus
extern "C" {
#endif

/* A further return code: text could not be drawn (font not found or not
 * readable). */
#define KOLTHERMO_THERMO_FONT_UNAVAILABLE 5

/* Palettes; each has 256 colours from the cold end (index 0) to the hot end. */
#define KOLTHERMO_PALETTE_IRON 0
#define KOLTHERMO_PALETTE_RAINBOW 1 /* the colour map of KolThermo_GetColor */
#define KOLTHERMO_PALETTE_WHITE_HOT 2
#define KOLTHERMO_PALETTE_BLACK_HOT 3
#define KOLTHERMO_PALETTE_ARCTIC 4
#define KOLTHERMO_PALETTE_LAVA 5
#define KOLTHERMO_PALETTE_COUNT 6

/* Range modes. */
#define KOLTHERMO_RANGE_AUTO 0      /* the frame's minimum to its maximum */
#define KOLTHERMO_RANGE_MANUAL 1    /* low_c to high_c; values beyond are clamped */
#define KOLTHERMO_RANGE_HISTOGRAM 2 /* histogram equalisation over min..max */

/* Isotherm modes: pixels whose temperature meets the condition are drawn in
 * the isotherm colour instead of the palette. */
#define KOLTHERMO_ISOTHERM_OFF 0
#define KOLTHERMO_ISOTHERM_ABOVE 1   /* t >= iso_low_c */
#define KOLTHERMO_ISOTHERM_BELOW 2   /* t <= iso_high_c */
#define KOLTHERMO_ISOTHERM_BETWEEN 3 /* iso_low_c <= t <= iso_high_c */

typedef struct KolThermoColorOptions {
  int palette;                 /* KOLTHERMO_PALETTE_* */
  int range;                   /* KOLTHERMO_RANGE_* */
  float low_c, high_c;         /* the manual range, low_c < high_c */
  int isotherm;                /* KOLTHERMO_ISOTHERM_* */
  float iso_low_c, iso_high_c; /* thresholds as the mode uses them */
  unsigned char iso_rgb[3];    /* the isotherm colour */
} KolThermoColorOptions;

/* The palette's lower-case name ("iron", "rainbow", "white-hot",
 * "black-hot", "arctic", "lava"), or NULL for an unknown palette. */
KOLTHERMO_THERMO_API const char* KOLTHERMO_THERMO_CALL KolThermoPaletteName(int palette);
/* The palette of that name, or -1. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoPaletteFromName(const char* name);
/* The palette's 256 colours, R, G, B each (768 bytes). */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoPaletteColors(int palette,
                                                                      unsigned char* rgb768);

/* Colours a frame into `rgb` (width * height * 3 bytes). *used_low_c and
 * *used_high_c (either may be NULL) get the range the colours stand for: the
 * manual range, or the frame's minimum and maximum. A frame without any
 * temperature is drawn black and returns KOLTHERMO_THERMO_EMPTY_REGION (the
 * range then reads -999.0). NaN and infinities count as no temperature. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoColorize(
    const float* temperatures_c, int width, int height, const KolThermoColorOptions* options,
    unsigned char* rgb, float* used_low_c, float* used_high_c);

/* The values of the scale's labels for a range: low_c, high_c and evenly
 * spaced round values between them, lowest first; at most `capacity`;
 * *count gets how many. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoScaleLabels(float low_c, float high_c,
                                                                    float* values, int capacity,
                                                                    int* count);

/* Draws a picture with a colour scale on its right: the palette from low_c
 * (bottom) to high_c (top) with its labels in degrees Celsius. The result is
 * wider than the picture; KolThermoScaleBarWidth tells by how much for a
 * picture height. `out` must hold (width + that) * height * 3 bytes; the
 * picture's first row is drawn at the top. `font_path` names a TrueType
 * font; NULL takes the SDK's default (DejaVu Sans on Linux, Arial from the
 * Windows folder's Fonts on Windows). The picture needs at least 32 rows
 * (KolThermoScaleBarWidth returns 0 below that); low_c may equal high_c. */
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoScaleBarWidth(int height);
KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoDrawWithScaleBar(const unsigned char* rgb, int width, int height, int palette, float low_c,
                          float high_c, const char* font_path, unsigned char* out);

#ifdef __cplusplus
}
#endif

#endif /* KOLTHERMO_KOLTHERMO_PALETTE_H_ */
