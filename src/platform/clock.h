// Millisecond clocks and sleeping. Every time-dependent part of the library and
// of the simulated camera asks this clock, so tests can install a faster or a
// manual one and exercise multi-second limits in fractions of a second.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/mutex.h"

namespace kt::platform {

// Sentinel for waits without a time limit.
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Clock {
 public:
  virtual ~Clock() = default;
  // The multimedia timer's millisecond count (timeGetTime on Windows).
  virtual uint32_t TimerTickMs() = 0;
  // The system tick count (GetTickCount on Windows); used to form instance IDs.
  virtual uint32_t SystemTickMs() = 0;
  // Sleeps for `ms` milliseconds of this clock.
  virtual void SleepMs(uint32_t ms) = 0;
  // Real time that passes while this clock advances by `ms` milliseconds; timed
  // waits on events convert their limits through it.
  virtual std::chrono::nanoseconds RealDuration(uint32_t ms) = 0;
};

// The operating system's clock.
Clock& SystemClock();

// The clock in use: the installed one, or the system clock.
Clock& CurrentClock();

// Installs a clock for the whole process (nullptr restores the system clock).
// Tests install clocks while no library thread runs; the clock must outlive its use.
void InstallClock(Clock* clock);

// The installed clock, or nullptr when the system clock is in use.
Clock* InstalledClock();

// Convenience wrappers over CurrentClock().
inline uint32_t TimerTickMs() { return CurrentClock().TimerTickMs(); }
inline uint32_t SystemTickMs() { return CurrentClock().SystemTickMs(); }
inline void SleepMs(uint32_t ms) { CurrentClock().SleepMs(ms); }

// A clock that runs `scale` times faster than real time, starting at `start_ms`.
class ScaledClock final : public Clock {
 public:
  explicit ScaledClock(double scale, uint32_t start_ms = 1000);
  uint32_t TimerTickMs() override;
  uint32_t SystemTickMs() override;
  void SleepMs(uint32_t ms) override;
  std::chrono::nanoseconds RealDuration(uint32_t ms) override;

 private:
  const double scale_;
  const uint32_t start_ms_;
  const std::chrono::steady_clock::time_point origin_;
};

// A clock that moves only when told to, or when someone sleeps on it (a sleep
// advances it by the slept time). Timed waits last a token real time.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(uint32_t start_ms = 1000) : now_ms_(start_ms) {}
  uint32_t TimerTickMs() override;
  uint32_t SystemTickMs() override;
  void SleepMs(uint32_t ms) override;
  std::chrono::nanoseconds RealDuration(uint32_t ms) override;

  void Set(uint32_t ms);
  void Advance(uint32_t ms);

 private:
  Mutex mutex_;
  uint32_t now_ms_ GUARDED_BY(mutex_);
};

// Installs a clock for the lifetime of a scope, then restores the one before (tests).
class ScopedClock {
 public:
  explicit ScopedClock(Clock& clock) : previous_(InstalledClock()) { InstallClock(&clock); }
  ~ScopedClock() { InstallClock(previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* const previous_;
};

}  // namespace kt::platform
