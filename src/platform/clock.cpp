#include "platform/clock.h"

#include <atomic>
#include <thread>

namespace kt::platform {
namespace {

std::atomic<Clock*> g_installed{nullptr};

}  // namespace

Clock& CurrentClock() {
  Clock* installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : SystemClock();
}

void InstallClock(Clock* clock) { g_installed.store(clock, std::memory_order_release); }

Clock* InstalledClock() { return g_installed.load(std::memory_order_acquire); }

ScaledClock::ScaledClock(double scale, uint32_t start_ms)
    : scale_(scale > 0.0 ? scale : 1.0),
      start_ms_(start_ms),
      origin_(std::chrono::steady_clock::now()) {}

uint32_t ScaledClock::TimerTickMs() {
  const auto real = std::chrono::steady_clock::now() - origin_;
  const double ms = std::chrono::duration<double, std::milli>(real).count() * scale_;
  return start_ms_ + static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

uint32_t ScaledClock::SystemTickMs() { return TimerTickMs(); }

void ScaledClock::SleepMs(uint32_t ms) { std::this_thread::sleep_for(RealDuration(ms)); }

std::chrono::nanoseconds ScaledClock::RealDuration(uint32_t ms) {
  return std::chrono::nanoseconds(static_cast<int64_t>(ms * 1.0e6 / scale_));
}

uint32_t ManualClock::TimerTickMs() {
  MutexLock lock(mutex_);
  return now_ms_;
}

uint32_t ManualClock::SystemTickMs() { return TimerTickMs(); }

void ManualClock::SleepMs(uint32_t ms) {
  Advance(ms);
  std::this_thread::yield();
}

std::chrono::nanoseconds ManualClock::RealDuration(uint32_t ms) {
  // Long enough for a peer thread to run, short enough that a test never waits.
  return ms == 0 ? std::chrono::nanoseconds(0)
                 : std::chrono::nanoseconds(std::chrono::milliseconds(1));
}

void ManualClock::Set(uint32_t ms) {
  MutexLock lock(mutex_);
  now_ms_ = ms;
}

void ManualClock::Advance(uint32_t ms) {
  MutexLock lock(mutex_);
  now_ms_ += ms;
}

}  // namespace kt::platform
