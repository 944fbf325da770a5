#include "camera/frame_ring.h"

namespace kt {

FrameRing::~FrameRing() {
  MutexLock lock(lock_);
  for (auto& slot : slots_) {
    slot->raw.Release();
    slot->colour.Release();
  }
  slots_.clear();
}

bool FrameRing::SetConfiguredSize(int32_t size) {
  MutexLock lock(lock_);
  if (!slots_.empty()) return false;
  configured_size_.store(size);
  return true;
}

void FrameRing::Rebuild() {
  const int32_t size = configured_size_.load();
  std::vector<std::unique_ptr<FrameSlot>> fresh;
  fresh.reserve(size > 0 ? static_cast<size_t>(size) : 0u);
  for (int32_t i = 0; i < size; ++i) fresh.push_back(std::make_unique<FrameSlot>());
  MutexLock lock(lock_);
  for (auto& slot : slots_) {
    slot->raw.Release();
    slot->colour.Release();
  }
  slots_ = std::move(fresh);
  current_slot_ = 0;
}

bool FrameRing::PrepareSurfaces() {
  MutexLock lock(lock_);
  if (slots_.empty()) return false;
  for (auto& slot : slots_) {
    slot->frame_id.store(0);
    if (slot->raw.Create(kImageWidth, kImageHeight, 16) == 0 ||
        slot->colour.Create(kImageWidth, kImageHeight, 24) == 0) {
      return false;
    }
  }
  return true;
}

size_t FrameRing::slot_count() {
  MutexLock lock(lock_);
  return slots_.size();
}

int32_t FrameRing::GetNewID() {
  MutexLock lock(lock_);
  if (slots_.empty()) return 0;
  return slots_[static_cast<size_t>(current_slot_)]->frame_id.load();
}

const FrameSlot& FrameRing::current() {
  MutexLock lock(lock_);
  return *slots_[static_cast<size_t>(current_slot_)];
}

FrameRing::CurrentCopy FrameRing::CopyCurrent(CDibSurface* raw, CDibSurface* colour) {
  MutexLock lock(lock_);
  if (slots_.empty()) return CurrentCopy::kNoFrame;
  const FrameSlot& slot = *slots_[static_cast<size_t>(current_slot_)];
  if (slot.raw.pixels() == nullptr || slot.colour.pixels() == nullptr) return CurrentCopy::kNoFrame;
  const bool copied = raw->Assign(slot.raw) != 0 && colour->Assign(slot.colour) != 0;
  return copied ? CurrentCopy::kCopied : CurrentCopy::kCopyFailed;
}

}  // namespace kt
