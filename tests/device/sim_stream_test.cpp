// Streaming and grabbing through the whole device object against the
// simulated camera driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "device/kol_cam_sdk.h"
#include "sim/sim_driver.h"

namespace kt {
namespace {

constexpr int kWidth = protocol::kSensorWidth;
constexpr int kHeight = protocol::kSensorHeight;

class SimStreamTest : public ::testing::Test {
 protected:
  SimStreamTest() : camera_(sim_.driver().Attach(0)) {}

  // Waits (through the frame-ready event) until a frame is ready.
  static int NextFrame(CKCMSdkLib& device) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const int result = device.WaitFrame();
      if (result != kWaitNoFrameYet) return result;
    }
    return kWaitNoFrameYet;
  }

  sim::ScopedSimDriver sim_;
  std::shared_ptr<sim::SimCamera> camera_;
  std::vector<uint8_t> image_ = std::vector<uint8_t>(kWidth * kHeight * 2, 0);
};

TEST_F(SimStreamTest, StreamsFramesOfTheFullSensor) {
  CKolCamV7R2KTHERMOSdk device;
  ASSERT_EQ(device.SetTransferMode(1), 1);
  ASSERT_EQ(device.transfer_byte_count(), 221184u);
  ASSERT_EQ(device.StartStream(), 0);
  for (int frame = 0; frame < 3; ++frame) {
    ASSERT_EQ(NextFrame(device), kWaitFrameReady);
    ASSERT_EQ(device.CopyFrame(image_.data()), 0);
  }
  EXPECT_EQ(device.StopStream(), 0);
  EXPECT_GE(camera_->frames_delivered(), 3u);

  // The scene reaches us as raw codes inside the calibrated range.
  uint16_t highest = 0;
  for (size_t i = 0; i < image_.size(); i += 2) {
    highest = std::max<uint16_t>(highest, static_cast<uint16_t>(image_[i] | (image_[i + 1] << 8)));
  }
  EXPECT_GT(highest, 0);
  EXPECT_LE(highest, 16383);

  // Every frame read on the frame pipe followed a start-transfer command.
  int pending_starts = 0;
  int frame_reads = 0;
  for (const sim::LoggedRequest& request : sim_.driver().log().Snapshot()) {
    if (request.kind != sim::RequestKind::kIoControl) continue;
    if (request.pipe == protocol::kPipeCommand && !request.bytes.empty() &&
        request.bytes[0] == protocol::kCmdStartTransfer) {
      EXPECT_EQ(request.code, protocol::kIoctlPipeRead);
      ++pending_starts;
    } else if (request.pipe == protocol::kPipeFrame) {
      EXPECT_EQ(request.code, protocol::kIoctlPipeWrite);
      EXPECT_EQ(request.requested, 221184u);
      ASSERT_EQ(pending_starts, 1);
      pending_starts = 0;
      ++frame_reads;
    }
  }
  EXPECT_GE(frame_reads, 3);
}

TEST_F(SimStreamTest, ShortFramesEndTheStreamAfterTheFirst) {
  CKolCamV7R2KTHERMOSdk device;
  device.SetTransferMode(1);
  camera_->ShortFrames(2);
  ASSERT_EQ(device.StartStream(), 0);
  int result = NextFrame(device);
  while (result == kWaitFrameReady) result = NextFrame(device);
  EXPECT_EQ(result, kWaitDeviceLost);
  EXPECT_EQ(device.StopStream(), 19);
}

TEST_F(SimStreamTest, GrabAndUnpluggedGrab) {
  CKolCamV7R2KTHERMOSdk device;
  device.SetTransferMode(1);
  ASSERT_EQ(device.GrabOne(), 0);
  ASSERT_EQ(device.CopyGrabbed(image_.data()), 0);
  EXPECT_TRUE(std::any_of(image_.begin(), image_.end(), [](uint8_t b) { return b != 0; }));

  ASSERT_TRUE(sim_.driver().Unplug(0));
  EXPECT_EQ(device.GrabOne(), 19);
}

}  // namespace
}  // namespace kt
