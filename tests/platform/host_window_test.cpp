// The host message window, through the exported C functions that hosts use.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <utility>
#include <vector>

#include "kolthermo/kolthermo_host.h"
#include "platform/host_window.h"

namespace {

// A window destroyed at the end of the test unless the test did it already.
class ScopedWindow {
 public:
  ScopedWindow() : window_(KolThermoHost_CreateWindow()) {}
  ~ScopedWindow() { KolThermoHost_DestroyWindow(window_); }
  ScopedWindow(const ScopedWindow&) = delete;
  ScopedWindow& operator=(const ScopedWindow&) = delete;
  KolThermoHWND get() const { return window_; }

 private:
  KolThermoHWND window_;
};

bool FdReadable(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

TEST(HostWindowTest, MessagesComeOutInPostingOrder) {
  ScopedWindow window;
  ASSERT_NE(window.get(), nullptr);
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(KolThermoHost_PostMessage(window.get(), KOLTHERMO_MSG_FRAME_READY + (i % 2),
                                        static_cast<uintptr_t>(i), -i),
              1);
  }
  EXPECT_EQ(KolThermoHost_PendingCount(window.get()), 100);
  for (int i = 0; i < 100; ++i) {
    KolThermoHostMessage message{};
    ASSERT_EQ(KolThermoHost_WaitMessage(window.get(), 0, &message), KOLTHERMO_HOST_MESSAGE);
    EXPECT_EQ(message.message, static_cast<unsigned>(KOLTHERMO_MSG_FRAME_READY + (i % 2)));
    EXPECT_EQ(message.wparam, static_cast<uintptr_t>(i));
    EXPECT_EQ(message.lparam, -i);
  }
  EXPECT_EQ(KolThermoHost_PendingCount(window.get()), 0);
}

TEST(HostWindowTest, WaitTimesOut) {
  ScopedWindow window;
  KolThermoHostMessage message{};
  EXPECT_EQ(KolThermoHost_WaitMessage(window.get(), 0, &message), KOLTHERMO_HOST_TIMEOUT);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(KolThermoHost_WaitMessage(window.get(), 60, &message), KOLTHERMO_HOST_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(55));
}

TEST(HostWindowTest, AFullQueueDropsFurtherPosts) {
  ScopedWindow window;
  for (int i = 0; i < KOLTHERMO_HOST_QUEUE_LIMIT; ++i) {
    ASSERT_EQ(KolThermoHost_PostMessage(window.get(), KOLTHERMO_MSG_EVENT, 0, i), 1) << i;
  }
  EXPECT_EQ(KolThermoHost_PostMessage(window.get(), KOLTHERMO_MSG_EVENT, 0, -1), 0);
  EXPECT_EQ(KolThermoHost_PendingCount(window.get()), KOLTHERMO_HOST_QUEUE_LIMIT);
  KolThermoHostMessage message{};
  ASSERT_EQ(KolThermoHost_WaitMessage(window.get(), 0, &message), KOLTHERMO_HOST_MESSAGE);
  EXPECT_EQ(message.lparam, 0);
  EXPECT_EQ(KolThermoHost_PostMessage(window.get(), KOLTHERMO_MSG_EVENT, 0, -2), 1);
}

TEST(HostWindowTest, HandlesThatAreNotLiveWindowsAreRefused) {
  int not_a_window = 0;
  KolThermoHWND stale = KolThermoHost_CreateWindow();
  ASSERT_EQ(KolThermoHost_DestroyWindow(stale), 1);
  ScopedWindow live;
  const KolThermoHWND bad[] = {nullptr, stale, reinterpret_cast<KolThermoHWND>(&not_a_window)};
  for (KolThermoHWND window : bad) {
    KolThermoHostMessage message{};
    EXPECT_EQ(KolThermoHost_PostMessage(window, KOLTHERMO_MSG_EVENT, 0, 1), 0);
    EXPECT_FALSE(kt::platform::PostHostMessage(window, KOLTHERMO_MSG_EVENT, 0, 1));
    EXPECT_EQ(KolThermoHost_WaitMessage(window, 0, &message), KOLTHERMO_HOST_BAD_WINDOW);
    EXPECT_EQ(KolThermoHost_GetFd(window), -1);
    EXPECT_EQ(KolThermoHost_PendingCount(window), -1);
    EXPECT_EQ(KolThermoHost_DestroyWindow(window), 0);
  }
  EXPECT_EQ(KolThermoHost_WaitMessage(live.get(), 0, nullptr), KOLTHERMO_HOST_BAD_WINDOW);
  EXPECT_NE(live.get(), stale);  // handles are not reused
}

TEST(HostWindowTest, FdIsReadableExactlyWhileMessagesWait) {
  ScopedWindow window;
  const int fd = KolThermoHost_GetFd(window.get());
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(FdReadable(fd));
  ASSERT_EQ(KolThermoHost_PostMessage(window.get(), KOLTHERMO_MSG_EVENT, 0, 1), 1);
  ASSERT_EQ(KolThermoHost_PostMessage(window.get(), KOLTHERMO_MSG_EVENT, 0, 2), 1);
  EXPECT_TRUE(FdReadable(fd));
  KolThermoHostMessage message{};
  ASSERT_EQ(KolThermoHost_WaitMessage(window.get(), 0, &message), KOLTHERMO_HOST_MESSAGE);
  EXPECT_TRUE(FdReadable(fd));
  ASSERT_EQ(KolThermoHost_WaitMessage(window.get(), 0, &message), KOLTHERMO_HOST_MESSAGE);
  EXPECT_FALSE(FdReadable(fd));
}

// Waits on `window` on a thread of its own; the result is the message's
// lParam, or the wait's result times 1000. The thread is detached so that a
// waiter that never wakes fails the test instead of hanging it.
std::future<int> WaitInBackground(KolThermoHWND window) {
  std::promise<int> promise;
  std::future<int> result = promise.get_future();
  std::thread([window, done = std::move(promise)]() mutable {
    KolThermoHostMessage message{};
    const int outcome = KolThermoHost_WaitMessage(window, -1, &message);
    done.set_value(outcome == KOLTHERMO_HOST_MESSAGE ? static_cast<int>(message.lparam)
                                                     : outcome * 1000);
  }).detach();
  return result;
}

TEST(HostWindowTest, BlockedWaitersWakeForAPostAndForDestruction) {
  KolThermoHWND window = KolThermoHost_CreateWindow();
  auto first = WaitInBackground(window);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(KolThermoHost_PostMessage(window, KOLTHERMO_MSG_EVENT, 0, 7), 1);
  ASSERT_EQ(first.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(first.get(), 7);

  auto second = WaitInBackground(window);
  auto third = WaitInBackground(window);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(KolThermoHost_DestroyWindow(window), 1);
  ASSERT_EQ(second.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ASSERT_EQ(third.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(second.get(), KOLTHERMO_HOST_BAD_WINDOW * 1000);
  EXPECT_EQ(third.get(), KOLTHERMO_HOST_BAD_WINDOW * 1000);
}

TEST(HostWindowTest, ConcurrentPostersKeepEachThreadsOrder) {
  ScopedWindow window;
  constexpr int kThreads = 6;
  constexpr int kPerThread = 1500;
  std::atomic<int> refused{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        if (!KolThermoHost_PostMessage(window.get(), KOLTHERMO_MSG_FRAME_READY,
                                       static_cast<uintptr_t>(t), i)) {
          ++refused;
        }
      }
    });
  }
  // Read while the posters run, so queue and descriptor change concurrently.
  std::vector<int> next(kThreads, 0);
  bool all_arrived = true;
  for (int received = 0; received < kThreads * kPerThread; ++received) {
    KolThermoHostMessage message{};
    if (KolThermoHost_WaitMessage(window.get(), 10000, &message) != KOLTHERMO_HOST_MESSAGE ||
        message.wparam >= static_cast<uintptr_t>(kThreads)) {
      all_arrived = false;
      break;
    }
    EXPECT_EQ(message.lparam, next[message.wparam]++);
  }
  for (std::thread& poster : posters) poster.join();
  ASSERT_TRUE(all_arrived);
  EXPECT_EQ(refused.load(), 0);
  EXPECT_EQ(KolThermoHost_PendingCount(window.get()), 0);
  EXPECT_FALSE(FdReadable(KolThermoHost_GetFd(window.get())));
}

}  // namespace
