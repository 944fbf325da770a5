// The exported C functions of the colour video recording: argument checks,
// then the recording itself.
#include <new>

#include "kolthermo/kolthermo_radiometric.h"
#include "radiometric_metadata.h"
#include "recording_handle.h"
#include "video_recording.h"

struct KolThermoAviRecording {
  kt::thermography::VideoRecording recording;
};

using kt::thermography::VideoRecording;

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoAviRecordingOpen(const char* path, int width, int height, double frames_per_second,
                          KolThermoAviRecording** recording) {
  // Written as a negation so that a NaN rate is refused too.
  if (path == nullptr || path[0] == '\0' || recording == nullptr ||
      !kt::thermography::ValidFrameSize(width, height) ||
      !(frames_per_second >= VideoRecording::kMinFramesPerSecond &&
        frames_per_second <= VideoRecording::kMaxFramesPerSecond)) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  return kt::thermography::OpenRecordingHandle(recording, path, width, height, frames_per_second);
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoAviRecordingAdd(KolThermoAviRecording* recording, const unsigned char* rgb) {
  if (recording == nullptr || rgb == nullptr) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  try {
    return recording->recording.Add(rgb);
  } catch (const std::bad_alloc&) {
    return KOLTHERMO_THERMO_FILE_ERROR;
  }
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoAviRecordingClose(KolThermoAviRecording* recording) {
  if (recording == nullptr) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  int code = KOLTHERMO_THERMO_FILE_ERROR;
  try {
    code = recording->recording.Close();
  } catch (const std::bad_alloc&) {
    code = KOLTHERMO_THERMO_FILE_ERROR;
  }
  delete recording;
  return code;
}
