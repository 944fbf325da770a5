// The stream thread, WaitFrame/CopyFrame and single grabs, against a scripted
// driver port whose frame reads the test releases one by one.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "device/fake_port.h"
#include "device/sdk_under_test.h"
#include "platform/clock.h"

#include "support/test_time.h"

namespace kt {
namespace {

using test::FakePort;
using test::SdkUnderTest;
using Frame = FakePort::Frame;

constexpr int kWidth = 8;
constexpr int kHeight = 4;
// 8 x 4 pixels round up to 1024 units: 2048 bytes per frame in 16-bit mode.
constexpr uint32_t kFrameBytes = 2048;

// Installs a clock for a scope and puts the previous one back afterwards.
class ClockSwap {
 public:
  explicit ClockSwap(platform::Clock& clock) : previous_(platform::CurrentClock()) {
    platform::InstallClock(&clock);
  }
  ~ClockSwap() { platform::InstallClock(&previous_); }
  ClockSwap(const ClockSwap&) = delete;
  ClockSwap& operator=(const ClockSwap&) = delete;

 private:
  platform::Clock& previous_;
};

bool WaitUntil(const std::function<bool()>& condition) {
  const auto deadline = kt::test::DeadlineIn(std::chrono::seconds(20));
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Row r of frame n (counted from 1) holds n * 1000 + r in every pixel.
uint16_t Pixel(const std::vector<uint8_t>& image, int row, int column) {
  const size_t at = (static_cast<size_t>(row) * kWidth + column) * 2;
  return static_cast<uint16_t>(image[at] | (image[at + 1] << 8));
}

void ExpectRowsReversed(const std::vector<uint8_t>& image, int frame_number) {
  for (int row = 0; row < kHeight; ++row) {
    for (int column = 0; column < kWidth; ++column) {
      ASSERT_EQ(Pixel(image, row, column), frame_number * 1000 + (kHeight - 1 - row))
          << "row " << row << " column " << column;
    }
  }
}

class StreamingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_.SetRowWords(kWidth);
    ASSERT_EQ(sdk_.SetDevicePath(0), 0);
    sdk_.set_mode_silently(1);
    ASSERT_EQ(sdk_.SetGeometry(kWidth, 0, kWidth, kHeight, 0, kHeight, 4), 0);
    ASSERT_EQ(sdk_.transfer_byte_count(), kFrameBytes);
    setup_requests_ = port_.requests().size();
  }

  // The requests after the set-up (which sent command 9).
  std::vector<FakePort::Request> NewRequests() {
    auto all = port_.requests();
    return {all.begin() + static_cast<std::ptrdiff_t>(setup_requests_), all.end()};
  }

  // Lets the stream run freely and stops it.
  int StopFreely() {
    port_.SetDefault(Frame::kGood);
    return sdk_.StopStream();
  }

  // Publishes `count` good frames and waits until the thread has published the
  // last of them (it is then blocked in the next read).
  void Publish(int count) {
    const int target = port_.frames_answered() + count;
    for (int i = 0; i < count; ++i) port_.Script({Frame::kGood});
    ASSERT_TRUE(port_.WaitForFrameReads(target + 1));
  }

  // Timed waits last a token real time on the manual clock.
  platform::ManualClock clock_;
  ClockSwap clock_swap_{clock_};
  FakePort port_;
  SdkUnderTest sdk_;
  std::vector<uint8_t> image_ = std::vector<uint8_t>(kWidth * kHeight * 2, 0xEE);
  size_t setup_requests_ = 0;
};

TEST_F(StreamingTest, StartWhileRunningIsBusyStopWhenIdleIsZero) {
  EXPECT_EQ(sdk_.StopStream(), 0);
  ASSERT_EQ(sdk_.StartStream(), 0);
  EXPECT_TRUE(sdk_.IsStreaming());
  EXPECT_EQ(sdk_.StartStream(), 21);
  EXPECT_EQ(sdk_.SetGeometry(kWidth, 0, kWidth, kHeight, 0, kHeight, 4), 21)
      << "the buffers must not change under a running stream";
  ASSERT_TRUE(port_.WaitForFrameReads(1));
  EXPECT_EQ(StopFreely(), 0);
  EXPECT_FALSE(sdk_.IsStreaming());
  EXPECT_EQ(sdk_.StopStream(), 0);
  EXPECT_EQ(sdk_.WaitFrame(), 0);
  EXPECT_EQ(port_.open_handles(), 0);
}

TEST_F(StreamingTest, StartWithoutGeometryIsRefused) {
  SdkUnderTest bare;
  EXPECT_EQ(bare.StartStream(), 14);
  EXPECT_EQ(bare.CopyFrame(image_.data()), 14);
  EXPECT_FALSE(bare.IsStreaming());
}

TEST_F(StreamingTest, EachFrameIsPrecededByStartTransferOnItsOwnHandle) {
  ASSERT_EQ(sdk_.StartStream(), 0);
  Publish(1);
  EXPECT_EQ(StopFreely(), 0);

  const auto requests = NewRequests();
  ASSERT_GE(requests.size(), 4u);
  for (size_t i = 0; i < 4; i += 2) {
    EXPECT_EQ(requests[i].code, protocol::kIoctlPipeRead);
    EXPECT_EQ(requests[i].pipe, protocol::kPipeCommand);
    EXPECT_EQ(requests[i].size, 64u);
    ASSERT_FALSE(requests[i].data.empty());
    EXPECT_EQ(requests[i].data[0], protocol::kCmdStartTransfer);
    EXPECT_EQ(requests[i + 1].code, protocol::kIoctlPipeWrite);
    EXPECT_EQ(requests[i + 1].pipe, protocol::kPipeFrame);
    EXPECT_EQ(requests[i + 1].size, kFrameBytes);
    EXPECT_EQ(requests[i + 1].input, (std::vector<uint8_t>{2, 0, 0, 0}));
  }
}

TEST_F(StreamingTest, LargeTransferFlagSelectsTheLargeFrameCode) {
  sdk_.set_large_transfer(1);
  ASSERT_EQ(sdk_.StartStream(), 0);
  ASSERT_TRUE(port_.WaitForFrameReads(1));
  EXPECT_EQ(StopFreely(), 0);
  const auto requests = NewRequests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, protocol::kIoctlPipeRead);
  EXPECT_EQ(requests[1].code, protocol::kIoctlLargeFrameRead);
}

TEST_F(StreamingTest, FirstShortFrameIsDroppedSecondEndsTheStream) {
  port_.Script({Frame::kShort});
  ASSERT_EQ(sdk_.StartStream(), 0);
  ASSERT_TRUE(port_.WaitForFrameReads(2));
  EXPECT_EQ(sdk_.write_index(), 0);
  EXPECT_EQ(sdk_.error_flag(), 0);
  // Nothing was signalled, so the wait runs out (6000 ms on the manual clock).
  EXPECT_EQ(sdk_.WaitFrame(), 1);
  EXPECT_TRUE(sdk_.IsStreaming());

  port_.Script({Frame::kShort});
  ASSERT_TRUE(WaitUntil([&] { return !sdk_.IsStreaming(); }));
  EXPECT_EQ(sdk_.write_index(), 1) << "the failing frame is published once";
  EXPECT_EQ(sdk_.WaitFrame(), 1);
  EXPECT_EQ(sdk_.WaitFrame(), 1);
  EXPECT_EQ(sdk_.StopStream(), 19);
  EXPECT_EQ(sdk_.WaitFrame(), 0);
  EXPECT_EQ(sdk_.StopStream(), 0);
}

TEST_F(StreamingTest, FailedTransferPublishesOnceThenReportsLoss) {
  port_.Script({Frame::kGood, Frame::kFail});
  ASSERT_EQ(sdk_.StartStream(), 0);
  ASSERT_TRUE(WaitUntil([&] { return !sdk_.IsStreaming(); }));
  EXPECT_EQ(sdk_.write_index(), 2);
  EXPECT_EQ(sdk_.error_flag(), 1);
  EXPECT_EQ(sdk_.WaitFrame(), 1) << "loss wins over a waiting frame";
  EXPECT_EQ(sdk_.StopStream(), 19);
  EXPECT_EQ(sdk_.error_flag(), 0);
  EXPECT_EQ(port_.open_handles(), 0);

  // The object streams again after a failed stream.
  ASSERT_EQ(sdk_.StartStream(), 0);
  Publish(1);
  EXPECT_EQ(sdk_.WaitFrame(), 3);
  EXPECT_EQ(StopFreely(), 0);
}

TEST_F(StreamingTest, NoFrameWithinTheLimitReportsLoss) {
  ASSERT_EQ(sdk_.StartStream(), 0);
  ASSERT_TRUE(port_.WaitForFrameReads(1));
  EXPECT_EQ(sdk_.WaitFrame(), 1);
  EXPECT_EQ(StopFreely(), 0);
}

TEST_F(StreamingTest, SignalledFrameWakesTheWaiterWithoutTakingIt) {
  platform::ScaledClock slow(1.0);
  ClockSwap real_time(slow);
  ASSERT_EQ(sdk_.StartStream(), 0);
  ASSERT_TRUE(port_.WaitForFrameReads(1));
  std::thread feeder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port_.Script({Frame::kGood});
  });
  EXPECT_EQ(sdk_.WaitFrame(), 2);
  feeder.join();
  EXPECT_EQ(sdk_.WaitFrame(), 3);
  EXPECT_EQ(StopFreely(), 0);
}

TEST_F(StreamingTest, NewestFrameWinsAndRowsAreReversed) {
  ASSERT_EQ(sdk_.StartStream(), 0);
  Publish(3);
  EXPECT_EQ(sdk_.WaitFrame(), 3);
  EXPECT_EQ(sdk_.read_index(), 2);
  ASSERT_EQ(sdk_.CopyFrame(image_.data()), 0);
  ExpectRowsReversed(image_, 3);
  EXPECT_EQ(sdk_.read_index(), 3);
  // The publications left the auto-reset event set once: one wake-up, then a
  // time-out, since nothing newer waits.
  EXPECT_EQ(sdk_.WaitFrame(), 2);
  EXPECT_EQ(sdk_.WaitFrame(), 1);
  EXPECT_EQ(sdk_.CopyFrame(nullptr), 14);
  EXPECT_EQ(StopFreely(), 0);
}

TEST_F(StreamingTest, WriterSkipsTheSlotTheReaderHolds) {
  ASSERT_EQ(sdk_.StartStream(), 0);
  Publish(3);  // frames 1..3 in slots 0..2
  ASSERT_EQ(sdk_.WaitFrame(), 3);
  ASSERT_EQ(sdk_.read_index(), 2);

  Publish(3);  // frames 4..6 in slots 3, 0, 1; then slot 2 is skipped
  EXPECT_EQ(sdk_.write_index(), 3);
  ASSERT_EQ(sdk_.CopyFrame(image_.data()), 0);
  ExpectRowsReversed(image_, 3);

  Publish(1);  // frame 7 goes to slot 3
  ASSERT_EQ(sdk_.WaitFrame(), 3);
  EXPECT_EQ(sdk_.read_index(), 3);
  ASSERT_EQ(sdk_.CopyFrame(image_.data()), 0);
  ExpectRowsReversed(image_, 7);
  EXPECT_EQ(StopFreely(), 0);
}

TEST_F(StreamingTest, NullHandleEndsQuietlyAbsentDeviceEndsWithLoss) {
  port_.SetOpenReturnsNull(true);
  ASSERT_EQ(sdk_.StartStream(), 0);
  ASSERT_TRUE(WaitUntil([&] { return !sdk_.IsStreaming(); }));
  EXPECT_EQ(sdk_.stream_status(), 10);
  EXPECT_EQ(sdk_.WaitFrame(), 0);
  EXPECT_EQ(sdk_.StopStream(), 0);

  // An absent device opens as the invalid handle: its transfers fail.
  port_.SetOpenReturnsNull(false);
  ASSERT_EQ(sdk_.SetDevicePath(3), 0);
  ASSERT_EQ(sdk_.StartStream(), 0);
  ASSERT_TRUE(WaitUntil([&] { return !sdk_.IsStreaming(); }));
  EXPECT_EQ(sdk_.WaitFrame(), 1);
  EXPECT_EQ(sdk_.StopStream(), 19);
}

TEST_F(StreamingTest, DestructionWhileStreamingStopsTheThread) {
  port_.SetDefault(Frame::kGood);
  auto sdk = std::make_unique<SdkUnderTest>();
  ASSERT_EQ(sdk->SetDevicePath(0), 0);
  ASSERT_EQ(sdk->SetGeometry(kWidth, 0, kWidth, kHeight, 0, kHeight, 4), 0);
  ASSERT_EQ(sdk->StartStream(), 0);
  ASSERT_TRUE(port_.WaitForFrameReads(50));
  sdk.reset();
  EXPECT_EQ(port_.open_handles(), 0);

  // A stream that ended by itself is collected as well.
  port_.SetDefault(Frame::kFail);
  sdk = std::make_unique<SdkUnderTest>();
  ASSERT_EQ(sdk->SetDevicePath(0), 0);
  ASSERT_EQ(sdk->SetGeometry(kWidth, 0, kWidth, kHeight, 0, kHeight, 4), 0);
  ASSERT_EQ(sdk->StartStream(), 0);
  ASSERT_TRUE(WaitUntil([&] { return !sdk->IsStreaming(); }));
  sdk.reset();
  EXPECT_EQ(port_.open_handles(), 0);
}

TEST_F(StreamingTest, GrabMovesOneFrameIntoTheSingleBuffer) {
  port_.Script({Frame::kGood});
  EXPECT_EQ(sdk_.GrabOne(), 0);
  EXPECT_FALSE(sdk_.IsGrabbing());
  const auto requests = NewRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, protocol::kIoctlPipeRead);
  ASSERT_FALSE(requests[0].data.empty());
  EXPECT_EQ(requests[0].data[0], protocol::kCmdStartTransfer);
  EXPECT_EQ(requests[1].code, protocol::kIoctlPipeWrite);
  EXPECT_EQ(requests[1].pipe, protocol::kPipeFrame);
  EXPECT_EQ(requests[1].size, kFrameBytes);
  EXPECT_EQ(port_.open_handles(), 0);

  ASSERT_EQ(sdk_.CopyGrabbed(image_.data()), 0);
  ExpectRowsReversed(image_, 1);
  EXPECT_EQ(sdk_.CopyGrabbed(nullptr), 14);

  sdk_.set_large_transfer(1);
  port_.Script({Frame::kGood});
  EXPECT_EQ(sdk_.GrabOne(), 0);
  EXPECT_EQ(port_.requests().back().code, protocol::kIoctlLargeFrameRead);
}

TEST_F(StreamingTest, GrabFailures) {
  port_.Script({Frame::kFail, Frame::kShort});
  EXPECT_EQ(sdk_.GrabOne(), 19);
  EXPECT_EQ(sdk_.GrabOne(), 19);
  port_.SetOpenReturnsNull(true);
  EXPECT_EQ(sdk_.GrabOne(), 10);
  EXPECT_EQ(port_.frame_reads(), 2) << "nothing is requested without a handle";
  port_.SetOpenReturnsNull(false);
  ASSERT_EQ(sdk_.SetDevicePath(6), 0);
  EXPECT_EQ(sdk_.GrabOne(), 19);
  EXPECT_EQ(port_.open_handles(), 0);

  SdkUnderTest bare;
  EXPECT_EQ(bare.GrabOne(), 19) << "no buffer to transfer into";
  EXPECT_EQ(bare.CopyGrabbed(image_.data()), 14);
}

TEST_F(StreamingTest, SecondGrabWhileBusyIsRefused) {
  int first = -1;
  std::thread grabber([&] { first = sdk_.GrabOne(); });
  ASSERT_TRUE(port_.WaitForFrameReads(1));
  EXPECT_TRUE(sdk_.IsGrabbing());
  EXPECT_EQ(sdk_.GrabOne(), 21);
  EXPECT_EQ(sdk_.SetGeometry(kWidth, 0, kWidth, kHeight, 0, kHeight, 4), 21);
  port_.Script({Frame::kGood});
  grabber.join();
  EXPECT_EQ(first, 0);
  EXPECT_FALSE(sdk_.IsGrabbing());
}

}  // namespace
}  // namespace kt
