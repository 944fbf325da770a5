// Saving the current frame as a still image. The frame is copied out of its
// slot under the frame lock and written without it, so encoding never holds
// up the capture thread and never sees the slot being refilled.
#include "camera/kol_thermo.h"
#include "kolthermo/kolthermo.h"
#include "output/still_image.h"

namespace kt {

bool CKolThermo::Save(const char16_t* path, int32_t format) {
  CDibSurface raw;
  CDibSurface colour;
  const FrameRing::CurrentCopy copy = ring_.CopyCurrent(&raw, &colour);
  const bool has_frame = copy != FrameRing::CurrentCopy::kNoFrame;
  const bool copied = copy == FrameRing::CurrentCopy::kCopied;
  if (!has_frame) {
    Raise(EventCode::kNoFrameToSave);
    return false;
  }
  if (static_cast<uint32_t>(format) > static_cast<uint32_t>(KOLTHERMO_FORMAT_TEMP_F32)) {
    Raise(EventCode::kInvalidArgument);
    return false;
  }
  if (!copied) {
    Raise(EventCode::kBufferOrMemory);
    return false;
  }
  const int flip = settings_.mirror_on_save.load() != 0 ? 1 : 0;
  int result = 0;
  if (format >= KOLTHERMO_FORMAT_TEMP_I8) {
    result = SaveTemperatureMap(path, raw, table_, format, flip);
  } else {
    // The raw formats save the raw surface as their colour counterparts
    // (pixel dump, PNG, TIFF) save the colour surface.
    const bool raw_source = format >= KOLTHERMO_FORMAT_RAW;
    const int number = raw_source ? (format == KOLTHERMO_FORMAT_RAW       ? kStillPixelDump
                                     : format == KOLTHERMO_FORMAT_RAW_PNG ? kStillPng
                                                                          : kStillTiff)
                                  : format;
    const CDibSurface* source = raw_source ? &raw : &colour;
    result = flip != 0 ? SaveFlippedImageFile(path, source, number)
                       : SaveImageFile(path, source, number);
  }
  if (result == 0) {
    Raise(EventCode::kFileOrTableFailed);
    return false;
  }
  return true;
}

}  // namespace kt
