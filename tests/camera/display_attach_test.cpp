// A display window attached to an instance shows every published frame; the
// instance's close tears it down. Off Windows the display window is the
// library's substitute, whose pixels tests can read back.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "camera/kol_thermo.h"
#include "platform/clock.h"
#include "platform/display_window.h"
#include "sim/sim_driver.h"

#include "support/test_time.h"

namespace kt {
namespace {

#ifndef _WIN32

TEST(DisplayAttachTest, PublishedFramesAreDrawnIntoTheAttachedWindow) {
  sim::ScopedSimDriver sim;
  sim.driver().Attach(0);
  CKolThermo instance;
  instance.Initialize(nullptr);
  const char16_t kClass[] = u"KolThermoTestDisplay";
  ASSERT_TRUE(platform::RegisterDisplayWindowClass(kClass));
  void* window = platform::CreateDisplayWindow(CKolThermo::kImageWidth, CKolThermo::kImageHeight,
                                               /*visible=*/true);
  ASSERT_NE(nullptr, window);
  instance.AttachDisplay(window, platform::GetDisplayDc(window), kClass);

  ASSERT_EQ(1, instance.StartPreview());
  const auto deadline = kt::test::DeadlineIn(std::chrono::seconds(5));
  while (instance.GetNewID() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  instance.Pause();
  std::this_thread::sleep_for(
      kt::test::Scaled(std::chrono::milliseconds(50)));  // the last draw completes
  const int32_t frame = instance.GetNewID();
  ASSERT_NE(0, frame);

  // Parameter 17 at 0: stored row 0 of the colour picture is the window's top row.
  const size_t row_bytes = CKolThermo::kImageWidth * 3;
  std::vector<uint8_t> colour(row_bytes * CKolThermo::kImageHeight);
  ASSERT_EQ(1, instance.GetColor(frame, colour.data(), static_cast<uint32_t>(colour.size())));
  std::vector<uint8_t> shown(colour.size());
  ASSERT_TRUE(platform::ReadDisplayPixels(window, shown.data(), shown.size()));
  EXPECT_EQ(colour, shown);

  instance.Close();
  // The close destroyed the window and unregistered its class.
  int width = 0;
  int height = 0;
  EXPECT_FALSE(platform::GetDisplayClientSize(window, &width, &height));
  EXPECT_TRUE(platform::RegisterDisplayWindowClass(kClass));
  platform::UnregisterDisplayWindowClass(kClass);
}

// The system clock, counting the sleeps of library threads (the capture loop's
// and the stream's) that end after the watched window is gone: a thread that
// still runs then may still be drawing into the window's device context.
class WindowWatchingClock final : public platform::Clock {
 public:
  uint32_t TimerTickMs() override { return platform::SystemClock().TimerTickMs(); }
  uint32_t SystemTickMs() override { return platform::SystemClock().SystemTickMs(); }
  std::chrono::nanoseconds RealDuration(uint32_t ms) override {
    return platform::SystemClock().RealDuration(ms);
  }
  void SleepMs(uint32_t ms) override {
    platform::SystemClock().SleepMs(ms);
    int width = 0;
    int height = 0;
    void* window = window_.load();
    if (window != nullptr && !platform::GetDisplayClientSize(window, &width, &height)) {
      ++sleeps_after_teardown_;
    }
  }
  void Watch(void* window) { window_.store(window); }
  int sleeps_after_teardown() const { return sleeps_after_teardown_.load(); }

 private:
  std::atomic<void*> window_{nullptr};
  std::atomic<int> sleeps_after_teardown_{0};
};

TEST(DisplayAttachTest, CloseEndsAcquisitionBeforeTearingTheDisplayDown) {
  sim::ScopedSimDriver sim;
  sim.driver().Attach(0);
  WindowWatchingClock clock;
  platform::ScopedClock use_clock(clock);
  CKolThermo instance;
  instance.Initialize(nullptr);
  const char16_t kClass[] = u"KolThermoCloseOrder";
  // Each round closes while frames are being drawn, with the stream running.
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(platform::RegisterDisplayWindowClass(kClass));
    void* window = platform::CreateDisplayWindow(CKolThermo::kImageWidth, CKolThermo::kImageHeight,
                                                 /*visible=*/true);
    ASSERT_NE(nullptr, window);
    instance.AttachDisplay(window, platform::GetDisplayDc(window), kClass);
    clock.Watch(window);
    ASSERT_EQ(1, instance.StartPreview());
    const int32_t before = instance.GetNewID();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (instance.GetNewID() == before && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_NE(before, instance.GetNewID());

    instance.Close();
    int width = 0;
    int height = 0;
    EXPECT_FALSE(platform::GetDisplayClientSize(window, &width, &height)) << round;
    EXPECT_EQ(0, clock.sleeps_after_teardown()) << "a library thread ran on after the display "
                                                   "was torn down, round "
                                                << round;
  }
}

#endif

}  // namespace
}  // namespace kt
