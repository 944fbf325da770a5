#include "platform/event.h"

namespace kt::platform {

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  if (mode_ == ResetMode::kManual) {
    cv_.notify_all();
  } else {
    cv_.notify_one();
  }
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(uint32_t ms) {
  std::unique_lock lock(mutex_);
  if (ms == kInfinite) {
    cv_.wait(lock, [this] { return signalled_; });
  } else {
    const auto deadline = std::chrono::steady_clock::now() + CurrentClock().RealDuration(ms);
    if (!cv_.wait_until(lock, deadline, [this] { return signalled_; })) return false;
  }
  if (mode_ == ResetMode::kAuto) signalled_ = false;
  return true;
}

}  // namespace kt::platform
