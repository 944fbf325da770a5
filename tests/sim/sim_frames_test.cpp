// Frame delivery: geometry from the registers, pacing, faults.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "sim/frame_generator.h"
#include "sim/radiometric_model.h"
#include "sim/sim_driver.h"
#include "sim_test_helpers.h"

namespace kt::sim {
namespace {

using test::Bytes;
using test::Pixel;
using test::Wire;
namespace reg = protocol::sensor;
namespace ctl = protocol::control;

// A scene whose pixel value is its own index (row * 384 + column) modulo 16384,
// so a test can see which sensor pixels arrived where.
class IndexScene final : public FrameGenerator {
 public:
  void Render(const SceneState&, uint16_t* pixels) const override {
    for (int i = 0; i < kFramePixels; ++i) pixels[i] = static_cast<uint16_t>(i % 16384);
  }
};

class SimFrames : public ::testing::Test {
 protected:
  SimFrames() : camera_(driver_.Attach(0)), wire_(driver_, 0) {}

  // Writes the window and transfer unit count as the library does.
  void SetWindow(int x, int y, int width, int height, uint32_t units) {
    wire_.WriteSensor(reg::kWindowXHalf, static_cast<uint8_t>(x / 2));
    wire_.WriteSensor(reg::kWindowYHalf, static_cast<uint8_t>(y / 2));
    wire_.WriteSensor(reg::kWindowWidthHalf, static_cast<uint8_t>(width / 2));
    wire_.WriteSensor(reg::kWindowHeightHalf, static_cast<uint8_t>(height / 2 - 1));
    wire_.WriteControl(ctl::kFrameLength0, 255);
    wire_.WriteControl(ctl::kFrameLength1, static_cast<uint8_t>(units >> 8));
    wire_.WriteControl(ctl::kFrameLength2, static_cast<uint8_t>(units >> 16));
    wire_.WriteControl(ctl::kFrameLength3, static_cast<uint8_t>(units >> 24));
    wire_.WriteControl(ctl::kFrameLength0, static_cast<uint8_t>(units));
  }

  SimDriver driver_;
  std::shared_ptr<SimCamera> camera_;
  Wire wire_;
};

TEST_F(SimFrames, WindowComesFirstThenZerosUpToTheTransferUnits) {
  camera_->SetFrameRate(0);
  camera_->SetScene(std::make_shared<IndexScene>());
  SetWindow(10, 20, 100, 50, 6144);  // 5000 pixels rounded up to 1024s
  Bytes frame(6144 * 2, 0xEE);
  uint32_t moved = 0;
  ASSERT_TRUE(wire_.ReadFrame(frame, &moved));
  EXPECT_EQ(moved, 6144u * 2);
  EXPECT_EQ(Pixel(frame, 0), 20 * 384 + 10);                // top-left of the window
  EXPECT_EQ(Pixel(frame, 99), 20 * 384 + 109);              // end of its first row
  EXPECT_EQ(Pixel(frame, 100), 21 * 384 + 10);              // second row
  EXPECT_EQ(Pixel(frame, 4999), (69 * 384 + 109) % 16384);  // bottom-right
  for (size_t i = 5000; i < 6144; ++i) ASSERT_EQ(Pixel(frame, i), 0) << i;

  // Eight-bit mode: one byte per pixel, N bytes in all.
  wire_.WriteControl(ctl::kPixelFormat, ctl::kPixelFormat8Bit);
  Bytes narrow(6144, 0xEE);
  ASSERT_TRUE(wire_.ReadFrame(narrow, &moved));
  EXPECT_EQ(moved, 6144u);
  EXPECT_EQ(narrow[0], (20 * 384 + 10) >> 6);
  EXPECT_EQ(narrow[6000], 0);
  // Asking for 2N bytes of an 8-bit frame moves N: a mismatch the reader sees.
  ASSERT_TRUE(wire_.ReadFrame(frame, &moved));
  EXPECT_EQ(moved, 6144u);
  // A buffer too small for the frame fails the transfer.
  Bytes small(6143);
  EXPECT_FALSE(wire_.ReadFrame(small, &moved));
  EXPECT_EQ(moved, 0u);
}

TEST_F(SimFrames, FullFrameOnBothFrameCodes) {
  camera_->SetFrameRate(0);
  Bytes frame(test::kFullFrameBytes);
  uint32_t moved = 0;
  EXPECT_TRUE(wire_.ReadFrame(frame, &moved, protocol::kIoctlPipeWrite));
  EXPECT_EQ(moved, test::kFullFrameBytes);
  EXPECT_TRUE(wire_.ReadFrame(frame, &moved, protocol::kIoctlLargeFrameRead));
  EXPECT_EQ(moved, test::kFullFrameBytes);
  EXPECT_FALSE(wire_.ReadFrame(frame, &moved, protocol::kIoctlPipeRead));
  EXPECT_EQ(camera_->frames_delivered(), 2u);
  // A plausible scene: everything inside the 14-bit range, not flat.
  uint16_t low = 16383, high = 0;
  for (size_t i = 0; i < frame.size() / 2; ++i) {
    low = std::min(low, Pixel(frame, i));
    high = std::max(high, Pixel(frame, i));
  }
  EXPECT_GT(low, 1000);
  EXPECT_LT(high, 16383);
  EXPECT_GT(high - low, 1000);  // a hot mug and a cold pack
}

TEST_F(SimFrames, PacesAtThirtyPerSecondAndDeliversTheNewest) {
  platform::ManualClock clock(5000);
  test::ClockScope scope(clock);
  const std::shared_ptr<SimCamera> camera = driver_.Attach(1);  // powered on under the manual clock
  Wire wire(driver_, 1);
  Bytes frame(test::kFullFrameBytes);
  uint32_t moved = 0;
  ASSERT_TRUE(wire.ReadFrame(frame, &moved));
  const uint32_t first = clock.TimerTickMs();
  const uint64_t first_index = camera->last_frame_index();
  for (int i = 0; i < 30; ++i) ASSERT_TRUE(wire.ReadFrame(frame, &moved));
  // 30 frames take one second of clock time (sleeping advances the clock).
  EXPECT_NEAR(clock.TimerTickMs() - first, 1000.0, 2.0);
  EXPECT_EQ(camera->last_frame_index(), first_index + 30);

  // A reader that comes back late gets the newest frame, not the ones it missed.
  clock.Advance(500);
  ASSERT_TRUE(wire.ReadFrame(frame, &moved));
  EXPECT_EQ(camera->last_frame_index(), first_index + 30 + 16);
  EXPECT_EQ(camera->frames_delivered(), 32u);
}

TEST_F(SimFrames, SustainsTwoHundredFortyPerSecond) {
  // At 240 frames per second every frame is delivered in turn; the cost of a
  // frame read is measured by bench/sim_bench.cpp, not asserted here.
  platform::ManualClock clock(5000);
  test::ClockScope scope(clock);
  const std::shared_ptr<SimCamera> camera = driver_.Attach(2);
  camera->SetFrameRate(240);
  Wire wire(driver_, 2);
  Bytes frame(test::kFullFrameBytes);
  uint32_t moved = 0;
  ASSERT_TRUE(wire.ReadFrame(frame, &moved));
  const uint64_t first_index = camera->last_frame_index();
  const uint32_t first_tick = clock.TimerTickMs();
  constexpr int kFrames = 120;
  for (int i = 0; i < kFrames; ++i) ASSERT_TRUE(wire.ReadFrame(frame, &moved));
  // Every frame in turn, half a second of clock time.
  EXPECT_EQ(camera->last_frame_index() - first_index, static_cast<uint64_t>(kFrames));
  EXPECT_NEAR(clock.TimerTickMs() - first_tick, 500.0, 2.0);
}

TEST_F(SimFrames, ShortAndFailedTransfers) {
  camera_->SetFrameRate(0);
  Bytes frame(test::kFullFrameBytes);
  uint32_t moved = 0;
  camera_->ShortFrames(1);
  camera_->FailTransfers(2);
  EXPECT_FALSE(wire_.ReadFrame(frame, &moved));
  EXPECT_FALSE(wire_.ReadFrame(frame, &moved));
  EXPECT_TRUE(wire_.ReadFrame(frame, &moved));
  EXPECT_EQ(moved, test::kFullFrameBytes / 2);
  EXPECT_TRUE(wire_.ReadFrame(frame, &moved));
  EXPECT_EQ(moved, test::kFullFrameBytes);
}

TEST_F(SimFrames, StalledReadEndsOnResumeUnplugOrTimeout) {
  platform::ScaledClock clock(200.0);
  test::ClockScope scope(clock);
  Bytes frame(test::kFullFrameBytes);
  uint32_t moved = 0;

  camera_->StallFrames(true);
  std::atomic<int> result{-1};
  std::thread reader([&] { result = wire_.ReadFrame(frame, &moved) ? 1 : 0; });
  clock.SleepMs(500);
  EXPECT_EQ(result.load(), -1) << "a stalled read must block";
  camera_->StallFrames(false);
  reader.join();
  EXPECT_EQ(result.load(), 1);
  EXPECT_EQ(moved, test::kFullFrameBytes);

  camera_->StallFrames(true);
  result = -1;
  std::thread unplugged([&] { result = wire_.ReadFrame(frame, &moved) ? 1 : 0; });
  clock.SleepMs(500);
  EXPECT_EQ(result.load(), -1);
  driver_.Unplug(0);
  unplugged.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(moved, 0u);

  // With nobody to lift it, the driver's transfer timeout ends the read.
  driver_.Replug(0);
  Wire again(driver_, 0);
  const uint32_t before = clock.TimerTickMs();
  EXPECT_FALSE(again.ReadFrame(frame, &moved));
  const uint32_t waited = clock.TimerTickMs() - before;
  EXPECT_GE(waited, 10000u);
  EXPECT_LT(waited, 12000u);
}

TEST_F(SimFrames, DetachEndsABlockedRead) {
  platform::ScaledClock clock(200.0);
  test::ClockScope scope(clock);
  camera_->StallFrames(true);
  Bytes frame(test::kFullFrameBytes);
  uint32_t moved = 0;
  std::atomic<int> result{-1};
  std::thread reader([&] { result = wire_.ReadFrame(frame, &moved) ? 1 : 0; });
  clock.SleepMs(300);
  driver_.Detach(0);
  reader.join();
  EXPECT_EQ(result.load(), 0);
}

TEST_F(SimFrames, NucClearsTheFixedPattern) {
  camera_->SetFrameRate(0);
  camera_->SetInternalTemperature(30.0f);
  camera_->SetScene(MakeUniformScene(37.0));
  // The spread of one column's mean against another's shows the pattern:
  // averaging rows removes the temporal noise.
  auto column_spread = [&] {
    Bytes frame(test::kFullFrameBytes);
    uint32_t moved = 0;
    EXPECT_TRUE(wire_.ReadFrame(frame, &moved));
    double low = 1e9, high = -1e9;
    for (int x = 0; x < kFrameWidth; ++x) {
      double sum = 0;
      for (int y = 0; y < kFrameHeight; ++y)
        sum += Pixel(frame, static_cast<size_t>(y * kFrameWidth + x));
      low = std::min(low, sum / kFrameHeight);
      high = std::max(high, sum / kFrameHeight);
    }
    return high - low;
  };
  EXPECT_GT(column_spread(), 10.0);
  EXPECT_TRUE(wire_.Send(test::Command({protocol::kCmdNucRequest, 101, 3, 6, 0, 1})));
  EXPECT_LT(column_spread(), 2.0);
  camera_->SetInternalTemperature(34.0f);
  EXPECT_GT(column_spread(), 10.0);
}

}  // namespace
}  // namespace kt::sim
