// Saving the current frame as a still image. The frame is copied out of its
// slot under the frame lock and written without it, so encoding never holds
// up the capture thread and never sees the slot being refilled.
#include "camera/kol_thermo.h"
#include "output/still_image.h"

namespace kt {

int CKolThermo::Save(const char16_t* path, int32_t format) {
  CDibSurface raw;
  CDibSurface colour;
  bool has_frame = false;
  bool copied = false;
  {
    MutexLock lock(frame_lock_);
    if (!ring_.empty()) {
      const FrameSlot& slot = *ring_[static_cast<size_t>(current_slot_)];
      has_frame = slot.raw.pixels() != nullptr && slot.colour.pixels() != nullptr;
      if (has_frame) copied = raw.Assign(slot.raw) != 0 && colour.Assign(slot.colour) != 0;
    }
  }
  if (!has_frame) {
    Raise(EventCode::kNoFrameToSave);
    return 0;
  }
  if (static_cast<uint32_t>(format) > static_cast<uint32_t>(kTemperatureMapFloat)) {
    Raise(EventCode::kInvalidArgument);
    return 0;
  }
  if (!copied) {
    Raise(EventCode::kBufferOrMemory);
    return 0;
  }
  const int flip = mirror_on_save_.load() != 0 ? 1 : 0;
  int result = 0;
  if (format >= kTemperatureMapInt8) {
    result = SaveTemperatureMap(path, raw, table_, format, flip);
  } else {
    // 7, 8 and 9 save the raw surface as 1, 5 and 6 save the colour surface.
    const bool raw_source = format >= 7;
    const int number = raw_source ? (format == 7   ? kStillPixelDump
                                     : format == 8 ? kStillPng
                                                   : kStillTiff)
                                  : format;
    const CDibSurface* source = raw_source ? &raw : &colour;
    result = flip != 0 ? SaveFlippedImageFile(path, source, number)
                       : SaveImageFile(path, source, number);
  }
  if (result == 0) {
    Raise(EventCode::kFileOrTableFailed);
    return 0;
  }
  return 1;
}

}  // namespace kt
