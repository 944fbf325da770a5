/*
 * save_still: takes one frame and saves it in several still-image formats.
 *
 * KolThermo_SaveA always writes the instance's current frame, the one most
 * recently acquired; the format number alone chooses the file format (the
 * file name's extension plays no part). Here KolThermo_OneShot acquires that
 * frame; a previewing host saves whatever frame is current.
 *
 * Usage: save_still [DIRECTORY]   (files go to DIRECTORY, default ".")
 * Exit status: 0 when every file was written, 1 otherwise.
 */
#include <stdio.h>

#include "kolthermo/kolthermo.h"

struct StillFormat {
  int number;           /* KOLTHERMO_FORMAT_*, the format argument of KolThermo_SaveA */
  const char* file;     /* file name inside the output directory */
  const char* contents; /* what the file holds */
};

static const struct StillFormat kFormats[] = {
    {KOLTHERMO_FORMAT_BMP, "frame.bmp", "false-colour BMP"},
    {KOLTHERMO_FORMAT_JPEG70, "frame.jpg", "false-colour JPEG, quality 70"},
    {KOLTHERMO_FORMAT_PNG, "frame.png", "false-colour PNG"},
    {KOLTHERMO_FORMAT_RAW_PNG, "frame_raw.png", "raw codes, 16-bit greyscale PNG"},
    {KOLTHERMO_FORMAT_RAW, "frame_raw.bin", "raw codes, 16-bit little-endian dump"},
    {KOLTHERMO_FORMAT_TEMP_F32, "frame_celsius.f32",
     "temperatures, 32-bit floats (-999.0 without a table)"},
};
#define FORMAT_COUNT ((int)(sizeof kFormats / sizeof kFormats[0]))

int main(int argc, char** argv) {
  const char* directory = argc > 1 ? argv[1] : ".";
  char path[1024];
  int saved = 0;
  int i;
  int frame_id;
  int id = KolThermo_Initialize(NULL);
  if (id == 0) {
    fprintf(stderr, "save_still: KolThermo_Initialize failed\n");
    return 1;
  }

  /* Frames on demand; each one's ID is returned instead of posted. The
   * colour window follows the scene one frame late: the first frame of an
   * instance is coloured through the default window (raw codes 1000 to 3000),
   * the second through the window fitted to the first. */
  frame_id = KolThermo_OneShot(id);
  if (frame_id != 0) frame_id = KolThermo_OneShot(id);
  if (frame_id == 0) {
    fprintf(stderr, "save_still: no frame from the camera\n");
    KolThermo_Release(id);
    return 1;
  }
  printf("frame %d acquired\n", frame_id);

  for (i = 0; i < FORMAT_COUNT; ++i) {
    const int length = snprintf(path, sizeof path, "%s/%s", directory, kFormats[i].file);
    if (length < 0 || (size_t)length >= sizeof path) {
      fprintf(stderr, "save_still: directory name too long\n");
      break;
    }
    if (KolThermo_SaveA(id, path, kFormats[i].number)) {
      printf("saved %s (format %d: %s)\n", path, kFormats[i].number, kFormats[i].contents);
      ++saved;
    } else {
      /* A failed save queues its reason: KOLTHERMO_CODE_FILE_OR_TABLE_FAILED
       * for a file that cannot be written, KOLTHERMO_CODE_NOT_SUPPORTED for a
       * format this build of the library lacks. */
      const int code = KolThermo_GetLastError(id);
      fprintf(stderr, "save_still: %s (format %d) not saved: event code %d (%s)\n", path,
              kFormats[i].number, code, KolThermoCodeName(code));
    }
  }

  KolThermo_Release(id);
  printf("%d of %d files saved\n", saved, FORMAT_COUNT);
  return saved == FORMAT_COUNT ? 0 : 1;
}
