#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kt::platform {
namespace {

TEST(ClockTest, SystemClockAdvancesWithSleep) {
  Clock& clock = SystemClock();
  const uint32_t before = clock.TimerTickMs();
  clock.SleepMs(20);
  const uint32_t elapsed = clock.TimerTickMs() - before;
  EXPECT_GE(elapsed, 15u);  // timer granularity on Windows allows a few ms less
  EXPECT_EQ(std::chrono::nanoseconds(std::chrono::milliseconds(250)), clock.RealDuration(250));
}

TEST(ClockTest, ScaledClockRunsFasterThanRealTime) {
  ScaledClock clock(100.0, 5000);
  EXPECT_GE(clock.TimerTickMs(), 5000u);
  const auto real_start = std::chrono::steady_clock::now();
  clock.SleepMs(3000);  // 30 ms of real time
  const auto real = std::chrono::steady_clock::now() - real_start;
  EXPECT_LT(real, std::chrono::seconds(2));
  EXPECT_GE(clock.TimerTickMs(), 8000u);
  EXPECT_EQ(std::chrono::nanoseconds(std::chrono::milliseconds(60)), clock.RealDuration(6000));
}

TEST(ClockTest, ManualClockMovesOnlyWhenTold) {
  ManualClock clock(0xFFFFFFF0u);
  EXPECT_EQ(0xFFFFFFF0u, clock.TimerTickMs());
  EXPECT_EQ(0xFFFFFFF0u, clock.SystemTickMs());
  clock.Advance(0x20);  // wraps like the 32-bit tick counters
  EXPECT_EQ(0x10u, clock.TimerTickMs());
  clock.SleepMs(5);
  EXPECT_EQ(0x15u, clock.TimerTickMs());
  clock.Set(42);
  EXPECT_EQ(42u, clock.TimerTickMs());
}

TEST(ClockTest, ScopedClocksNestAndRestoreTheirPredecessor) {
  Clock* const outer = InstalledClock();
  ManualClock first(777);
  ManualClock second(888);
  {
    ScopedClock scoped(first);
    EXPECT_EQ(&first, &CurrentClock());
    EXPECT_EQ(777u, TimerTickMs());
    EXPECT_EQ(777u, SystemTickMs());
    {
      ScopedClock inner(second);
      EXPECT_EQ(888u, TimerTickMs());
    }
    EXPECT_EQ(&first, &CurrentClock());
  }
  EXPECT_EQ(outer, InstalledClock());
  InstallClock(nullptr);
  EXPECT_EQ(&SystemClock(), &CurrentClock());
  InstallClock(outer);
}

}  // namespace
}  // namespace kt::platform
