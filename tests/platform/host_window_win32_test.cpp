// Posting to a real (message-only) window.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/host_window.h"

namespace kt::platform {
namespace {

TEST(HostWindowWin32Test, PostsReachTheWindowsQueue) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(PostHostMessage(window, 0x8003, 0, 9));
  EXPECT_TRUE(PostHostMessage(window, 0x8002, 0, -5));
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, window, 0x8002, 0x8003, PM_REMOVE));
  EXPECT_EQ(msg.message, 0x8003u);
  EXPECT_EQ(msg.lParam, 9);
  ASSERT_TRUE(PeekMessageW(&msg, window, 0x8002, 0x8003, PM_REMOVE));
  EXPECT_EQ(msg.message, 0x8002u);
  EXPECT_EQ(msg.lParam, -5);
  EXPECT_FALSE(PeekMessageW(&msg, window, 0x8002, 0x8003, PM_REMOVE));

  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(PostHostMessage(window, 0x8003, 0, 1));
  EXPECT_FALSE(PostHostMessage(nullptr, 0x8003, 0, 1));
}

}  // namespace
}  // namespace kt::platform
