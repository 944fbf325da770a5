// FrameRing: an instance's ring of frame slots, the frame lock that guards
// them, the current slot, publishing a frame into the ring and copying frames
// out of it.
//
// Threads:
// - Rebuild, PrepareSurfaces and SetConfiguredSize run on host threads while
//   no capture thread exists (Initialize, or a preview start or single frame
//   under the acquisition's control lock).
// - PublishNext and current() run on the capture thread while it exists; a
//   single frame (AdvanceAndFill) runs on a host thread under the control lock
//   while none exists. Either way there is one writer of slots at a time.
// - GetNewID, slot_count, CopyOut and CopyCurrent run on any host thread at
//   any time; they hold the frame lock for the copy, so no reader ever sees a
//   slot half refilled.
// Lock order: the acquisition's control lock, then the frame lock. Nothing
// else is taken while the frame lock is held, except the calibration table's
// snapshot lock inside a temperature copy-out.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "camera/frame_slot.h"
#include "imaging/dib_surface.h"
#include "platform/mutex.h"
#include "thermal/thermo_table.h"

namespace kt {

class FrameRing {
 public:
  static constexpr int32_t kImageWidth = kFrameWidth;
  static constexpr int32_t kImageHeight = kFrameHeight;
  // Slots a ring is built with unless the host chose another size first.
  static constexpr int32_t kDefaultSize = 30;

  FrameRing() = default;
  ~FrameRing() EXCLUDES(lock_);
  FrameRing(const FrameRing&) = delete;
  FrameRing& operator=(const FrameRing&) = delete;

  // The size the next Rebuild gives the ring (parameter 8). The size is fixed
  // once the ring holds slots: SetConfiguredSize is then refused (false).
  int32_t configured_size() const { return configured_size_.load(); }
  bool SetConfiguredSize(int32_t size) EXCLUDES(lock_);

  // Replaces the ring by configured_size() empty slots (frame ID 0, surfaces
  // without pixel memory) and makes slot 0 current. Throws std::bad_alloc and
  // leaves the ring as it was when the slots cannot be had.
  void Rebuild() EXCLUDES(lock_);
  // Gives every slot's surfaces their pixel memory and clears its frame ID.
  // False when the ring is empty or a surface cannot be had.
  bool PrepareSurfaces() EXCLUDES(lock_);

  size_t slot_count() EXCLUDES(lock_);
  // Frame ID of the current slot; 0 before any frame or without a ring.
  int32_t GetNewID() EXCLUDES(lock_);

  // Capture loop: gives the slot after the current one `frame_id`, then runs
  // `fill(slot)` under the frame lock; when it returns true the slot becomes
  // current and its frame ID is returned, otherwise the slot stays behind the
  // current one (keeping the new ID) and 0 is returned. The ring must not be
  // empty.
  template <typename Fill>
  int32_t PublishNext(int32_t frame_id, Fill&& fill) EXCLUDES(lock_) {
    MutexLock lock(lock_);
    const size_t next = (static_cast<size_t>(current_slot_) + 1) % slots_.size();
    FrameSlot& slot = *slots_[next];
    slot.frame_id.store(frame_id);
    if (!fill(slot)) return 0;
    current_slot_ = static_cast<int32_t>(next);
    return slot.frame_id.load();
  }
  // Single frames: makes the slot after the current one current first, gives
  // it `frame_id` and runs `fill(slot)` under the frame lock, whose result is
  // returned. A failed fill leaves the slot current with its new ID. The ring
  // must not be empty.
  template <typename Fill>
  bool AdvanceAndFill(int32_t frame_id, Fill&& fill) EXCLUDES(lock_) {
    MutexLock lock(lock_);
    current_slot_ = static_cast<int32_t>((static_cast<size_t>(current_slot_) + 1) % slots_.size());
    FrameSlot& slot = *slots_[static_cast<size_t>(current_slot_)];
    slot.frame_id.store(frame_id);
    return fill(slot);
  }
  // The current slot, for the capture thread, which is the only writer of the
  // slot it has just published and so reads it without the lock. The ring
  // must not be empty.
  const FrameSlot& current() EXCLUDES(lock_);

  // What a host fetch asks for: the raw codes, the false-colour picture (as
  // stored: blue, green, red, rows padded to 4 bytes; or packed red, green,
  // blue for hosts that take that order), or the temperatures through the
  // calibration table.
  enum class FrameKind { kRaw, kColour, kColourRgb, kTemperature };
  enum class CopyResult {
    kCopied,
    kNoSuchFrame,     // frame ID 0 or in no slot
    kBufferTooSmall,  // null buffer, short buffer or a slot without pixels
  };
  // Copies the frame with `frame_id` into `buffer`: rows as stored (bottom
  // row first) when `fetch_row_order` (parameter 17) is 0, else reversed.
  CopyResult CopyOut(FrameKind kind, int32_t frame_id, void* buffer, uint32_t size_bytes,
                     int32_t fetch_row_order, const CThermoTable& table) EXCLUDES(lock_);

  enum class CurrentCopy {
    kCopied,
    kNoFrame,     // no ring, or the current slot has no pixels yet
    kCopyFailed,  // no memory for the copies
  };
  // Copies the current slot's raw and colour surfaces (still saving), so the
  // caller can encode them without holding up the capture thread.
  CurrentCopy CopyCurrent(CDibSurface* raw, CDibSurface* colour) EXCLUDES(lock_);

 private:
  // Before Rebuild: the host's choice, read when the ring is built.
  std::atomic<int32_t> configured_size_{kDefaultSize};
  Mutex lock_;
  // The vector changes only in Rebuild, never while a capture thread exists;
  // the vector, current_slot_ and the slots' contents are guarded by lock_.
  std::vector<std::unique_ptr<FrameSlot>> slots_ GUARDED_BY(lock_);
  int32_t current_slot_ GUARDED_BY(lock_) = 0;
};

}  // namespace kt
