// Handing a frame to the host by frame ID: raw codes, the false-colour picture
// or temperatures, copied or converted under the frame lock so the capture
// thread can never refill the slot halfway through.
#include <cstring>

#include "camera/kol_thermo.h"

namespace kt {

int CKolThermo::CopyFrameOut(FrameKind kind, int32_t frame_id, void* buffer, uint32_t size_bytes) {
  if (frame_id == 0) {
    Raise(EventCode::kInvalidArgument);
    return 0;
  }
  const bool bottom_up_rows = fetch_row_order_.load() == 0;
  EventCode failure = EventCode::kInvalidArgument;
  {
    MutexLock lock(frame_lock_);
    for (const auto& slot : ring_) {
      if (slot->frame_id.load() != frame_id) continue;
      const CDibSurface& surface = kind == FrameKind::kColour ? slot->colour : slot->raw;
      const size_t rows = static_cast<size_t>(surface.height());
      if (kind == FrameKind::kTemperature) {
        const size_t needed = static_cast<size_t>(surface.width()) * rows * sizeof(float);
        // A null buffer is refused like a short one: there is nowhere to write.
        if (buffer == nullptr || surface.pixels() == nullptr || size_bytes < needed) {
          failure = EventCode::kBufferOrMemory;
          break;
        }
        table_.ConvertToFloat(surface, static_cast<float*>(buffer),
                              bottom_up_rows ? RowOrder::kBottomUp : RowOrder::kTopDown);
        return 1;
      }
      const size_t row_bytes = static_cast<size_t>(surface.stride());
      // A null buffer is refused like a short one: there is nowhere to copy to.
      if (buffer == nullptr || surface.pixels() == nullptr || size_bytes < row_bytes * rows) {
        failure = EventCode::kBufferOrMemory;
        break;
      }
      auto* out = static_cast<uint8_t*>(buffer);
      if (bottom_up_rows) {
        std::memcpy(out, surface.pixels(), row_bytes * rows);
      } else {
        for (size_t k = 0; k < rows; ++k) {
          std::memcpy(out + k * row_bytes, surface.pixels() + (rows - 1 - k) * row_bytes,
                      row_bytes);
        }
      }
      return 1;
    }
  }
  Raise(failure);
  return 0;
}

int CKolThermo::GetRaw(int32_t frame_id, void* buffer, uint32_t size_bytes) {
  return CopyFrameOut(FrameKind::kRaw, frame_id, buffer, size_bytes);
}

int CKolThermo::GetColor(int32_t frame_id, void* buffer, uint32_t size_bytes) {
  return CopyFrameOut(FrameKind::kColour, frame_id, buffer, size_bytes);
}

int CKolThermo::GetTemperature(int32_t frame_id, float* buffer, uint32_t size_bytes) {
  return CopyFrameOut(FrameKind::kTemperature, frame_id, buffer, size_bytes);
}

}  // namespace kt
