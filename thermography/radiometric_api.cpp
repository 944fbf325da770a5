// The exported C functions of the radiometric files: argument checks, then
// one writer per format. A single file that fails is removed.
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "kolthermo/kolthermo_radiometric.h"
#include "radiometric_csv.h"
#include "radiometric_metadata.h"
#include "radiometric_output_file.h"
#include "radiometric_picture.h"
#include "radiometric_recording.h"
#include "radiometric_tiff.h"
#include "recording_handle.h"

struct KolThermoTiffRecording {
  kt::thermography::TiffRecording recording;
};

namespace {

using kt::thermography::OutputFile;

bool ValidPath(const char* path) { return path != nullptr && path[0] != '\0'; }

bool ValidFrame(const char* path, const void* pixels, int width, int height,
                const KolThermoFrameInfo* info) {
  return ValidPath(path) && pixels != nullptr && kt::thermography::ValidFrameSize(width, height) &&
         kt::thermography::ValidFrameInfo(info);
}

// Creates `path`, lets `write` fill it and closes it; removes it if any of
// that failed.
int WriteWholeFile(const char* path, const std::function<bool(OutputFile&)>& write) {
  OutputFile file;
  if (!file.Create(path)) return KOLTHERMO_THERMO_FILE_ERROR;
  bool written = false;
  try {
    written = write(file);
  } catch (const std::bad_alloc&) {
    written = false;
  }
  if (!written || !file.Close()) {
    file.CloseAndRemove();
    return KOLTHERMO_THERMO_FILE_ERROR;
  }
  return KOLTHERMO_THERMO_OK;
}

int WriteSinglePageTiff(const char* path, const void* pixels, int width, int height,
                        kt::thermography::TiffSamples samples, const KolThermoFrameInfo* info) {
  using namespace kt::thermography;
  const Units units = samples == TiffSamples::kFloat32 ? Units::kCelsius : Units::kRawCodes;
  return WriteWholeFile(path, [&](OutputFile& file) {
    TiffWriter writer(file, false);
    return writer.AddPage({pixels, width, height, samples, DescriptionLines(info, units),
                           TiffDateTime(info)}) &&
           writer.Finish();
  });
}

}  // namespace

extern "C" {

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoWriteCelsiusTiff(const char* path, const float* temperatures_c, int width, int height,
                          const KolThermoFrameInfo* info) {
  if (!ValidFrame(path, temperatures_c, width, height, info)) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  return WriteSinglePageTiff(path, temperatures_c, width, height,
                             kt::thermography::TiffSamples::kFloat32, info);
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoWriteRaw16Tiff(const char* path, const unsigned short* raw, int width, int height,
                        const KolThermoFrameInfo* info) {
  if (!ValidFrame(path, raw, width, height, info)) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  return WriteSinglePageTiff(path, raw, width, height, kt::thermography::TiffSamples::kUint16,
                             info);
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoWriteCelsiusCsv(const char* path, const float* temperatures_c, int width, int height,
                         const KolThermoFrameInfo* info) {
  if (!ValidFrame(path, temperatures_c, width, height, info)) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  return WriteWholeFile(path, [&](OutputFile& file) {
    return kt::thermography::WriteCelsiusCsv(file, temperatures_c, width, height, info);
  });
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoWritePicture(const char* path,
                                                                     const unsigned char* rgb,
                                                                     int width, int height) {
  if (!ValidFrame(path, rgb, width, height, nullptr)) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  const auto format = kt::thermography::PictureFormatOf(path);
  if (!format || !kt::thermography::FitsFormat(*format, width, height)) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  // Encoded before the file is created, so a failed encoder leaves nothing.
  std::vector<unsigned char> encoded;
  try {
    if (!kt::thermography::EncodePicture(*format, rgb, width, height, encoded)) {
      return KOLTHERMO_THERMO_FILE_ERROR;
    }
  } catch (const std::bad_alloc&) {
    return KOLTHERMO_THERMO_FILE_ERROR;
  }
  return WriteWholeFile(
      path, [&](OutputFile& file) { return file.Write(encoded.data(), encoded.size()); });
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoTiffRecordingOpenLimited(
    const char* path, int width, int height, int max_frames, KolThermoTiffRecording** recording) {
  if (!ValidPath(path) || recording == nullptr ||
      !kt::thermography::ValidFrameSize(width, height) || max_frames < 0) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  return kt::thermography::OpenRecordingHandle(recording, path, width, height, max_frames);
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL KolThermoTiffRecordingOpen(
    const char* path, int width, int height, KolThermoTiffRecording** recording) {
  return KolThermoTiffRecordingOpenLimited(path, width, height, 0, recording);
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoTiffRecordingAdd(KolThermoTiffRecording* recording, const float* temperatures_c,
                          const KolThermoFrameInfo* info) {
  if (recording == nullptr || temperatures_c == nullptr ||
      !kt::thermography::ValidFrameInfo(info)) {
    return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  }
  try {
    return recording->recording.Add(temperatures_c, info);
  } catch (const std::bad_alloc&) {
    return KOLTHERMO_THERMO_FILE_ERROR;
  }
}

KOLTHERMO_THERMO_API int KOLTHERMO_THERMO_CALL
KolThermoTiffRecordingClose(KolThermoTiffRecording* recording) {
  if (recording == nullptr) return KOLTHERMO_THERMO_INVALID_ARGUMENT;
  const int code = recording->recording.Close();
  delete recording;
  return code;
}

}  // extern "C"
