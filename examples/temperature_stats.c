/*
 * temperature_stats: minimum, maximum, mean and centre temperature of a few
 * frames, in degrees Celsius.
 *
 * Temperatures come from a calibration table that the host loads from a file
 * with KolThermo_SetTableA. The SDK's table generator writes one that fits the
 * simulated camera:
 *
 *     kolthermo-table --layout 4000 --output camera.tbl
 *     temperature_stats camera.tbl
 *
 * KolThermo_GetTemperature converts a frame, found by its frame ID, into one
 * float per pixel, row after row; -999.0 marks a pixel without a temperature
 * (a raw code outside the table), which the statistics leave out.
 *
 * Usage: temperature_stats TABLE [FRAMES]   (FRAMES defaults to 5)
 * Exit status: 0 when every frame had temperatures, 1 otherwise.
 */
#include <stdio.h>
#include <stdlib.h>

#include "kolthermo/kolthermo.h"

#define NO_TEMPERATURE (-999.0f)

/* Prints the statistics of one frame; returns 0 when no pixel had a
 * temperature. */
static int PrintStatistics(int frame, const float* celsius, int width, int height) {
  const float centre = celsius[(size_t)(height / 2) * (size_t)width + (size_t)(width / 2)];
  const size_t pixels = (size_t)width * (size_t)height;
  float low = 0.0f;
  float high = 0.0f;
  double sum = 0.0;
  size_t counted = 0;
  size_t i;
  for (i = 0; i < pixels; ++i) {
    if (celsius[i] == NO_TEMPERATURE) continue;
    if (counted == 0 || celsius[i] < low) low = celsius[i];
    if (counted == 0 || celsius[i] > high) high = celsius[i];
    sum += celsius[i];
    ++counted;
  }
  if (counted == 0) {
    printf("frame %d: no pixel has a temperature\n", frame);
    return 0;
  }
  printf("frame %d: min %.2f C, max %.2f C, mean %.2f C, centre %.2f C (%lu pixels)\n", frame, low,
         high, sum / (double)counted, centre, (unsigned long)counted);
  return 1;
}

int main(int argc, char** argv) {
  const int frames_wanted = argc > 2 ? atoi(argv[2]) : 5;
  int frames_ok = 0;
  int frame;
  int id;
  int width;
  int height;
  unsigned int size_bytes;
  float* celsius;
  if (argc < 2 || frames_wanted < 1) {
    fprintf(stderr, "usage: temperature_stats TABLE [FRAMES]\n");
    return 1;
  }
  id = KolThermo_Initialize(NULL);
  if (id == 0) {
    fprintf(stderr, "temperature_stats: KolThermo_Initialize failed\n");
    return 1;
  }
  if (!KolThermo_SetTableA(id, argv[1])) {
    /* KOLTHERMO_CODE_FILE_OR_TABLE_FAILED for a missing or broken table */
    const int code = KolThermo_GetLastError(id);
    fprintf(stderr, "temperature_stats: cannot load %s: event code %d (%s)\n", argv[1], code,
            KolThermoCodeName(code));
    KolThermo_Release(id);
    return 1;
  }

  width = KolThermo_GetParam(id, KOLTHERMO_PARAM_WIDTH);   /* 384 */
  height = KolThermo_GetParam(id, KOLTHERMO_PARAM_HEIGHT); /* 288 */
  size_bytes = (unsigned int)((size_t)width * (size_t)height * sizeof *celsius);
  celsius = malloc(size_bytes);
  for (frame = 1; celsius != NULL && frame <= frames_wanted; ++frame) {
    /* KolThermo_OneShot acquires one frame and returns its ID. */
    const int frame_id = KolThermo_OneShot(id);
    if (frame_id != 0 && KolThermo_GetTemperature(id, frame_id, celsius, size_bytes)) {
      frames_ok += PrintStatistics(frame, celsius, width, height);
    } else {
      const int code = KolThermo_GetLastError(id);
      printf("frame %d: not acquired (event code %d: %s)\n", frame, code, KolThermoCodeName(code));
    }
  }

  free(celsius);
  KolThermo_Release(id);
  return frames_ok == frames_wanted ? 0 : 1;
}
