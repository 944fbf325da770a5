#include "camera/code_store.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/host_window_probe.h"

namespace kt {
namespace {

TEST(CodeStoreTest, CodesComeBackNewestFirstThenZero) {
  CodeStore store;
  EXPECT_EQ(0u, store.TakeNewest());
  store.Raise(EventCode::kFileOrTableFailed);
  store.Raise(EventCode::kCameraNotAvailable);
  EXPECT_EQ(2u, store.TakeNewest());
  EXPECT_EQ(9u, store.TakeNewest());
  EXPECT_EQ(0u, store.TakeNewest());
  // An emptied store fills again from scratch.
  store.Raise(EventCode::kNotSupported);
  EXPECT_EQ(10u, store.TakeNewest());
}

TEST(CodeStoreTest, RaisingWithoutAWindowStillStores) {
  CodeStore store;
  ASSERT_EQ(nullptr, store.host_window());
  store.Raise(EventCode::kNotSupported);
  store.AnnounceFrame(1234);  // nothing to post to, nothing stored
  EXPECT_EQ(1u, store.size());
  EXPECT_EQ(10u, store.TakeNewest());
}

TEST(CodeStoreTest, RaisePostsTheEventMessageAndAnnouncePostsTheFrame) {
  test::HostWindowProbe window;
  ASSERT_NE(nullptr, window.handle());
  CodeStore store;
  store.SetHostWindow(window.handle());
  store.Raise(EventCode::kCameraLost);
  store.AnnounceFrame(-5);

  test::PostedMessage message;
  ASSERT_TRUE(window.Next(&message, 1000));
  EXPECT_EQ(kEventMessage, message.message);
  EXPECT_EQ(0u, message.wparam);
  EXPECT_EQ(4, message.lparam);
  ASSERT_TRUE(window.Next(&message, 1000));
  EXPECT_EQ(kFrameReadyMessage, message.message);
  EXPECT_EQ(-5, static_cast<int32_t>(message.lparam));
  EXPECT_FALSE(window.Next(&message, 0));
  // Announcing stores nothing; the raised code waits.
  EXPECT_EQ(1u, store.size());
}

TEST(CodeStoreTest, ConcurrentRaisesAndTakesLoseNothing) {
  CodeStore store;
  constexpr int kPerThread = 2000;
  std::vector<std::thread> raisers;
  for (int t = 0; t < 3; ++t) {
    raisers.emplace_back([&store] {
      for (int i = 0; i < kPerThread; ++i) store.Raise(EventCode::kFrameTransferFailed);
    });
  }
  int taken = 0;
  std::thread taker([&] {
    for (int i = 0; i < kPerThread; ++i) {
      if (store.TakeNewest() == 3u) ++taken;
    }
  });
  for (auto& t : raisers) t.join();
  taker.join();
  while (store.TakeNewest() == 3u) ++taken;
  EXPECT_EQ(3 * kPerThread, taken);
}

}  // namespace
}  // namespace kt
