// A colour video recording: RGB pictures, top row first, written as an
// uncompressed AVI by the same AVI writer the camera library records with.
// That writer takes bitmap rows as they lie in the file (bottom row first,
// blue-green-red, no row padding), so each picture is converted here.
#ifndef KOLTHERMO_THERMOGRAPHY_VIDEO_RECORDING_H_
#define KOLTHERMO_THERMOGRAPHY_VIDEO_RECORDING_H_

#include <cstdint>
#include <string>
#include <vector>

#include "output/avi_writer.h"

namespace kt::thermography {

// Owned by one thread at a time (the caller's, as the C API says); no field
// is shared, so there is nothing to guard.
class VideoRecording {
 public:
  // The rates a recording accepts, in frames per second.
  static constexpr double kMinFramesPerSecond = 0.01;
  static constexpr double kMaxFramesPerSecond = 1000.0;

  // Opens the file and writes the AVI headers; a KOLTHERMO_THERMO_* code. The
  // size and rate are checked by the caller.
  int Open(const std::string& path, int width, int height, double frames_per_second);
  // One frame; KOLTHERMO_THERMO_FILE_ERROR once a write has failed.
  int Add(const unsigned char* rgb);
  // Writes the index and the final sizes and closes the file. A recording
  // without a single frame is removed.
  int Close();

  // Bytes per stored pixel: 3 (blue, green, red) when such rows fill whole
  // 32-bit words, as bitmap rows must; 4 (with a fourth byte of 255)
  // otherwise, since the writer stores rows without padding.
  static int BytesPerPixel(int width) { return width % 4 == 0 ? 3 : 4; }

 private:
  AviWriter writer_;
  std::string path_;
  std::vector<uint8_t> bitmap_;  // one converted frame
  int width_ = 0;
  int height_ = 0;
  uint32_t hundredths_per_second_ = 0;
  bool failed_ = false;
};

// Converts UTF-8 to zero-terminated UTF-16; false for ill-formed UTF-8
// (overlong forms, surrogates, values past U+10FFFF, cut sequences), so a
// malformed name never reaches the file system as another name.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16);

}  // namespace kt::thermography

#endif  // KOLTHERMO_THERMOGRAPHY_VIDEO_RECORDING_H_
