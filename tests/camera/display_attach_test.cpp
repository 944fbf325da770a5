// A display window attached to an instance shows every published frame; the
// instance's close tears it down. Off Windows the display window is the
// library's substitute, whose pixels tests can read back.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "camera/kol_thermo.h"
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

#endif

}  // namespace
}  // namespace kt
