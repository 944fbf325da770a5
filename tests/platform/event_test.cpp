#include "platform/event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace kt::platform {
namespace {

TEST(EventTest, ManualResetStaysSetForEveryWaiter) {
  Event event(Event::ResetMode::kManual);
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.Wait(0));
}

TEST(EventTest, AutoResetLetsOneWaiterThrough) {
  Event event(Event::ResetMode::kAuto, /*initially_set=*/true);
  EXPECT_TRUE(event.Wait(0));
  EXPECT_FALSE(event.Wait(0));
}

TEST(EventTest, AutoResetWakesExactlyOneOfSeveralWaiters) {
  Event event(Event::ResetMode::kAuto);
  ScaledClock fast(1000.0);
  ScopedClock scoped(fast);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (event.Wait(200000)) ++woken;  // 200 s of clock time, 200 ms real
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  event.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(1, woken.load());
}

TEST(EventTest, TimedWaitIsMeasuredOnTheInstalledClock) {
  ScaledClock fast(200.0);
  ScopedClock scoped(fast);
  Event event(Event::ResetMode::kManual);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(event.Wait(6000));  // 30 ms of real time
  const auto real = std::chrono::steady_clock::now() - start;
  EXPECT_GE(real, std::chrono::milliseconds(25));
  EXPECT_LT(real, std::chrono::seconds(3));
}

TEST(EventTest, InfiniteWaitEndsWhenSetFromAnotherThread) {
  Event event(Event::ResetMode::kManual);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    event.Set();
  });
  EXPECT_TRUE(event.Wait(kInfinite));
  setter.join();
}

}  // namespace
}  // namespace kt::platform
