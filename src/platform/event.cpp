#include "platform/event.h"

namespace kt::platform {

void Event::Set() {
  {
    MutexLock lock(mutex_);
    signalled_ = true;
  }
  if (mode_ == ResetMode::kManual) {
    cv_.NotifyAll();
  } else {
    cv_.NotifyOne();
  }
}

void Event::Reset() {
  MutexLock lock(mutex_);
  signalled_ = false;
}

bool Event::Wait(uint32_t ms) {
  MutexLock lock(mutex_);
  if (ms == kInfinite) {
    while (!signalled_) cv_.Wait(mutex_);
  } else {
    const auto deadline = std::chrono::steady_clock::now() + CurrentClock().RealDuration(ms);
    while (!signalled_) {
      if (!cv_.WaitUntil(mutex_, deadline)) break;
    }
    if (!signalled_) return false;
  }
  if (mode_ == ResetMode::kAuto) signalled_ = false;
  return true;
}

}  // namespace kt::platform
