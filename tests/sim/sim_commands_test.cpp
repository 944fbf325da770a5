// Commands and replies of the simulated camera, through raw requests.
#include <gtest/gtest.h>

#include "sim/internal_temperature.h"
#include "sim/sim_camera_impl.h"
#include "sim/sim_driver.h"
#include "sim_test_helpers.h"

namespace kt::sim {
namespace {

using test::Bytes;
using test::Command;
using test::Wire;
namespace reg = protocol::sensor;
namespace ctl = protocol::control;

class SimCommands : public ::testing::Test {
 protected:
  SimCommands() : camera_(driver_.Attach(0)), wire_(driver_, 0) {}
  SimDriver driver_;
  std::shared_ptr<SimCamera> camera_;
  Wire wire_;
};

TEST_F(SimCommands, RegisterWritesAndReadsWithExactReplies) {
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdWriteSensorRegister, 0x12, 0x34, 0xAB})));
  EXPECT_EQ(camera_->sensor_register(0x1234), 0xAB);
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdReadSensorRegister, 0x12, 0x34})));
  EXPECT_EQ(wire_.Reply(), Command({protocol::kCmdReadSensorRegister}));  // status reply
  EXPECT_EQ(wire_.Reply(), Command({0xAB}));
  EXPECT_TRUE(wire_.Reply().empty()) << "a reply read with none waiting must fail";

  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdWriteControlRegister, 20, 0x34})));
  EXPECT_EQ(camera_->control_register(20), 0x34);
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdReadControlRegister, 20})));
  EXPECT_EQ(wire_.Reply(), Command({protocol::kCmdReadControlRegister}));
  EXPECT_EQ(wire_.Reply(), Command({0x34}));

  // Command 2 also arrives with the read code; commands 6, 9 and 10 are taken.
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdStartTransfer}), protocol::kIoctlPipeRead));
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdSelectCamera})));
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdFrameLength, 0x00, 0xB0, 0x01, 0x00})));
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdTransferMode, 1})));
  EXPECT_TRUE(wire_.Send(Command({0xEE, 1, 2, 3})));  // unknown: accepted, ignored
  EXPECT_TRUE(wire_.Reply().empty());
  const SimCamera::Impl& impl = camera_->impl();
  MutexLock lock(impl.mutex);
  EXPECT_EQ(impl.frame_length_command, 110592u);
  EXPECT_EQ(impl.transfer_mode, 1);
  EXPECT_EQ(impl.select_commands, 1);
  EXPECT_TRUE(impl.transfer_armed);
}

TEST_F(SimCommands, PowerOnRegistersDescribeTheFullFrame) {
  EXPECT_EQ(wire_.ReadSensor(reg::kWindowWidthHalf), 192);
  EXPECT_EQ(wire_.ReadSensor(reg::kWindowHeightHalf), 143);
  EXPECT_EQ(wire_.ReadControl(ctl::kFrameLength0), 0x00);
  EXPECT_EQ(wire_.ReadControl(ctl::kFrameLength1), 0xB0);
  EXPECT_EQ(wire_.ReadControl(ctl::kFrameLength2), 0x01);
  EXPECT_EQ(wire_.ReadControl(ctl::kPixelFormat), ctl::kPixelFormat16Bit);
}

TEST_F(SimCommands, SignatureAppearsOnlyAfterTheSetUpWrites) {
  auto signature = [&] {
    return std::vector<int>{wire_.ReadSensor(reg::kSignature0), wire_.ReadSensor(reg::kSignature1),
                            wire_.ReadSensor(reg::kSignature2)};
  };
  const std::vector<int> configured{0x55, 0xC6, 0xC9};
  EXPECT_NE(signature(), configured);
  // The set-up writes out of order, or with other values, do not configure it.
  wire_.WriteSensor(reg::kMode, 0);
  wire_.WriteSensor(reg::kBias, 32);
  wire_.WriteSensor(reg::kTiming, 51);
  wire_.WriteSensor(reg::kMode, 5);  // before 139 := 3
  wire_.WriteSensor(reg::kAdcControl, 3);
  EXPECT_NE(signature(), configured);
  wire_.WriteSensor(reg::kMode, 0);
  wire_.WriteSensor(reg::kMode, 5);
  EXPECT_EQ(signature(), configured);
  // Running values afterwards keep it configured.
  wire_.WriteSensor(reg::kBias, 96);
  wire_.WriteSensor(reg::kMode, 0);
  EXPECT_EQ(signature(), configured);

  // A test can also configure a fresh camera directly.
  const std::shared_ptr<SimCamera> other = driver_.Attach(1);
  for (int i = 0; i < 3; ++i)
    other->set_sensor_register(reg::kSignature0 + i, reg::kSignatureValues[i]);
  Wire wire(driver_, 1);
  EXPECT_EQ(wire.ReadSensor(reg::kSignature2), 0xC9);
}

TEST_F(SimCommands, TriggerPulseShowsOnceOnControlRegisterSeven) {
  wire_.WriteControl(ctl::kTriggerInput, 0xFF);  // the input bit cannot be written
  EXPECT_EQ(wire_.ReadControl(ctl::kTriggerInput), 0xFB);
  camera_->TriggerPulse();
  EXPECT_EQ(wire_.ReadControl(ctl::kTriggerInput), 0xFF);
  EXPECT_EQ(wire_.ReadControl(ctl::kTriggerInput), 0xFB);
  // Reads of other registers leave a pending pulse alone.
  camera_->TriggerPulse();
  EXPECT_EQ(wire_.ReadControl(6), 0);
  EXPECT_EQ(wire_.ReadControl(ctl::kTriggerInput) & ctl::kTriggerBit, ctl::kTriggerBit);
}

TEST_F(SimCommands, InternalTemperatureReplyEncodesTheTemperature) {
  const float celsius = static_cast<float>(InternalTemperatureFromRaw(0x1234));
  camera_->SetInternalTemperature(celsius);
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdReadSensorRegister, 32})));
  wire_.Reply();
  EXPECT_EQ(wire_.Reply(), Command({0x12, 0x34}));

  EXPECT_EQ(InternalTemperatureRaw(19.718294), 20000);
  EXPECT_EQ(InternalTemperatureRaw(473.874), 0);
  EXPECT_EQ(InternalTemperatureRaw(1000.0), 0);       // clamped
  EXPECT_EQ(InternalTemperatureRaw(-2000.0), 65535);  // clamped
  EXPECT_NEAR(InternalTemperatureFromRaw(16384), 101.829643, 1e-5);

  // Without an override the sensor warms from room temperature.
  camera_->ClearInternalTemperature();
  EXPECT_NEAR(camera_->internal_temperature(), kPowerOnInternalC, 0.5);
  EXPECT_NEAR(ModelledInternalTemperature(0), kPowerOnInternalC, 1e-9);
  EXPECT_GT(ModelledInternalTemperature(60000), 24.0);
  EXPECT_NEAR(ModelledInternalTemperature(3600000), kRunningInternalC, kDriftAmplitudeC + 0.01);
}

TEST_F(SimCommands, FailingReadsLoseRepliesAndTheQueueIsShared) {
  camera_->FailRegisterReads(true);
  EXPECT_EQ(wire_.ReadSensor(0), -1);
  camera_->FailRegisterReads(false);
  EXPECT_TRUE(wire_.Reply().empty()) << "failed reads must not leave stale replies";
  EXPECT_EQ(wire_.ReadSensor(0), 0x4B);

  // One reply endpoint per camera: a second handle reads the first one's replies.
  Wire other(driver_, 0);
  wire_.WriteSensor(10, 1);
  other.WriteSensor(11, 2);
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdReadSensorRegister, 0, 10})));
  EXPECT_TRUE(other.Send(Command({protocol::kCmdReadSensorRegister, 0, 11})));
  other.Reply();
  EXPECT_EQ(other.Reply()[0], 1) << "the second handle gets the first exchange's value";
  wire_.Reply();
  EXPECT_EQ(wire_.Reply()[0], 2);

  // A reply buffer larger than 64 bytes receives 64; a smaller one is refused.
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdReadControlRegister, 14})));
  Bytes small(63);
  Bytes large(100);
  uint32_t moved = 0;
  EXPECT_FALSE(
      wire_.Request(protocol::kIoctlPipeRead, protocol::kPipeReply, small.data(), 63, &moved));
  EXPECT_TRUE(
      wire_.Request(protocol::kIoctlPipeRead, protocol::kPipeReply, large.data(), 100, &moved));
  EXPECT_EQ(moved, 64u);
  // Replies are read with the read code only.
  EXPECT_FALSE(
      wire_.Request(protocol::kIoctlPipeWrite, protocol::kPipeReply, large.data(), 64, &moved));
  EXPECT_EQ(wire_.Reply(), Command({ctl::kPixelFormat16Bit}));
}

TEST_F(SimCommands, NucRequestNeedsItsExactArguments) {
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdNucRequest, 101, 3, 6, 0, 2})));
  EXPECT_EQ(camera_->nuc_requests(), 0);
  EXPECT_GT(camera_->fixed_pattern_gain(), 0.0f);
  camera_->SetInternalTemperature(31.0f);
  EXPECT_TRUE(wire_.Send(Command({protocol::kCmdNucRequest, 101, 3, 6, 0, 1})));
  EXPECT_EQ(camera_->nuc_requests(), 1);
  EXPECT_EQ(camera_->fixed_pattern_gain(), 0.0f);
  // The pattern grows back as the sensor drifts from its temperature at the NUC.
  camera_->SetInternalTemperature(31.5f);
  const float half_degree = camera_->fixed_pattern_gain();
  camera_->SetInternalTemperature(33.0f);
  EXPECT_GT(half_degree, 0.0f);
  EXPECT_GT(camera_->fixed_pattern_gain(), half_degree);
  camera_->SetInternalTemperature(80.0f);
  EXPECT_EQ(camera_->fixed_pattern_gain(), kPowerOnPatternGain);
}

TEST_F(SimCommands, UnplugAfterRequestsCountsRequests) {
  camera_->UnplugAfterRequests(3);
  EXPECT_TRUE(wire_.WriteSensor(1, 1));
  EXPECT_TRUE(wire_.WriteSensor(1, 2));
  EXPECT_TRUE(wire_.WriteSensor(1, 3));
  EXPECT_FALSE(wire_.WriteSensor(1, 4));
  EXPECT_FALSE(camera_->plugged());
  EXPECT_EQ(camera_->sensor_register(1), 3);
  EXPECT_TRUE(driver_.Replug(0));
  Wire again(driver_, 0);
  EXPECT_TRUE(again.WriteSensor(1, 5));
  EXPECT_TRUE(again.WriteSensor(1, 6));  // the fault fired once
}

}  // namespace
}  // namespace kt::sim
