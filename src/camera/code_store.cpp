#include "camera/code_store.h"

#include <new>

#include "platform/host_window.h"

namespace kt {

void CodeStore::Raise(EventCode code) {
  const auto value = static_cast<uint32_t>(code);
  try {
    MutexLock lock(mutex_);
    codes_.push_back(value);
  } catch (const std::bad_alloc&) {
    // Out of memory: the code is lost, the post below still tells the host.
  }
  if (void* window = host_window()) {
    platform::PostHostMessage(window, kEventMessage, 0, static_cast<intptr_t>(value));
  }
}

void CodeStore::AnnounceFrame(int32_t frame_id) {
  if (void* window = host_window()) {
    platform::PostHostMessage(window, kFrameReadyMessage, 0, static_cast<intptr_t>(frame_id));
  }
}

uint32_t CodeStore::TakeNewest() {
  MutexLock lock(mutex_);
  if (codes_.empty()) return 0;
  const uint32_t code = codes_.back();
  codes_.pop_back();
  if (codes_.empty()) codes_.shrink_to_fit();
  return code;
}

size_t CodeStore::size() const {
  MutexLock lock(mutex_);
  return codes_.size();
}

}  // namespace kt
