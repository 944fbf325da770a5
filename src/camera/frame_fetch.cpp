// Handing a frame to the host by frame ID: raw codes, the false-colour picture
// or temperatures, copied or converted under the frame lock so the capture
// thread can never refill the slot halfway through.
#include <cstring>

#include "camera/frame_ring.h"
#include "camera/kol_thermo.h"
#include "imaging/channel_swap.h"

namespace kt {

FrameRing::CopyResult FrameRing::CopyOut(FrameKind kind, int32_t frame_id, void* buffer,
                                         uint32_t size_bytes, int32_t fetch_row_order,
                                         const CThermoTable& table) {
  if (frame_id == 0) return CopyResult::kNoSuchFrame;
  const bool bottom_up_rows = fetch_row_order == 0;
  MutexLock lock(lock_);
  for (const auto& slot : slots_) {
    if (slot->frame_id.load() != frame_id) continue;
    const bool colour = kind == FrameKind::kColour || kind == FrameKind::kColourRgb;
    const CDibSurface& surface = colour ? slot->colour : slot->raw;
    const size_t rows = static_cast<size_t>(surface.height());
    if (kind == FrameKind::kTemperature) {
      const size_t needed = static_cast<size_t>(surface.width()) * rows * sizeof(float);
      // A null buffer is refused like a short one: there is nowhere to write.
      if (buffer == nullptr || surface.pixels() == nullptr || size_bytes < needed) {
        return CopyResult::kBufferTooSmall;
      }
      table.ConvertToFloat(surface, static_cast<float*>(buffer),
                           bottom_up_rows ? RowOrder::kBottomUp : RowOrder::kTopDown);
      return CopyResult::kCopied;
    }
    if (kind == FrameKind::kColourRgb) {
      const size_t width = static_cast<size_t>(surface.width());
      const size_t packed_row = width * 3;
      if (buffer == nullptr || surface.pixels() == nullptr || size_bytes < packed_row * rows) {
        return CopyResult::kBufferTooSmall;
      }
      const size_t stride = static_cast<size_t>(surface.stride());
      auto* out = static_cast<uint8_t*>(buffer);
      for (size_t k = 0; k < rows; ++k) {
        const uint8_t* in = surface.pixels() + (bottom_up_rows ? k : rows - 1 - k) * stride;
        CopySwappingBlueAndRed(out + k * packed_row, in, static_cast<int32_t>(width));
      }
      return CopyResult::kCopied;
    }
    const size_t row_bytes = static_cast<size_t>(surface.stride());
    // A null buffer is refused like a short one: there is nowhere to copy to.
    if (buffer == nullptr || surface.pixels() == nullptr || size_bytes < row_bytes * rows) {
      return CopyResult::kBufferTooSmall;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    if (bottom_up_rows) {
      std::memcpy(out, surface.pixels(), row_bytes * rows);
    } else {
      for (size_t k = 0; k < rows; ++k) {
        std::memcpy(out + k * row_bytes, surface.pixels() + (rows - 1 - k) * row_bytes, row_bytes);
      }
    }
    return CopyResult::kCopied;
  }
  return CopyResult::kNoSuchFrame;
}

bool CKolThermo::CopyFrameOut(FrameRing::FrameKind kind, int32_t frame_id, void* buffer,
                              uint32_t size_bytes) {
  switch (
      ring_.CopyOut(kind, frame_id, buffer, size_bytes, settings_.fetch_row_order.load(), table_)) {
    case FrameRing::CopyResult::kCopied:
      return true;
    case FrameRing::CopyResult::kNoSuchFrame:
      Raise(EventCode::kInvalidArgument);
      return false;
    case FrameRing::CopyResult::kBufferTooSmall:
      break;
  }
  Raise(EventCode::kBufferOrMemory);
  return false;
}

bool CKolThermo::GetRaw(int32_t frame_id, void* buffer, uint32_t size_bytes) {
  return CopyFrameOut(FrameRing::FrameKind::kRaw, frame_id, buffer, size_bytes);
}

bool CKolThermo::GetColor(int32_t frame_id, void* buffer, uint32_t size_bytes) {
  return CopyFrameOut(FrameRing::FrameKind::kColour, frame_id, buffer, size_bytes);
}

bool CKolThermo::GetColorRgb(int32_t frame_id, void* buffer, uint32_t size_bytes) {
  return CopyFrameOut(FrameRing::FrameKind::kColourRgb, frame_id, buffer, size_bytes);
}

bool CKolThermo::GetTemperature(int32_t frame_id, float* buffer, uint32_t size_bytes) {
  return CopyFrameOut(FrameRing::FrameKind::kTemperature, frame_id, buffer, size_bytes);
}

}  // namespace kt
