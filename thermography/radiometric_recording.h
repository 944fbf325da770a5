// A radiometric recording: a multi-page float TIFF, one page per frame.
#ifndef KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_RECORDING_H_
#define KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_RECORDING_H_

#include <memory>
#include <string>

#include "kolthermo/kolthermo_radiometric.h"
#include "radiometric_output_file.h"
#include "radiometric_tiff.h"

namespace kt::thermography {

// Owned by one thread at a time (the caller's, as the C API says); no field
// is shared, so there is nothing to guard.
class TiffRecording {
 public:
  // Opens the file and writes the TIFF header; a KOLTHERMO_THERMO_* code. The
  // arguments are checked by the caller.
  int Open(const std::string& path, int width, int height, int max_frames);
  // One page; KOLTHERMO_THERMO_OUT_OF_RANGE past max_frames,
  // KOLTHERMO_THERMO_FILE_ERROR once a write has failed.
  int Add(const float* temperatures_c, const KolThermoFrameInfo* info);
  // Ends the file. A recording without a single page is no TIFF and is
  // removed.
  int Close();

  // Whether a recording of `max_frames` frames (0: unknown) needs BigTIFF.
  static bool NeedsBigTiff(int width, int height, int max_frames);

 private:
  OutputFile file_;
  std::unique_ptr<TiffWriter> writer_;
  int width_ = 0;
  int height_ = 0;
  int max_frames_ = 0;
  int frames_ = 0;
  bool failed_ = false;
};

}  // namespace kt::thermography

#endif  // KOLTHERMO_THERMOGRAPHY_RADIOMETRIC_RECORDING_H_
