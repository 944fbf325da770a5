// The simulated driver's device namespace, handles and request validation.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "sim/sim_driver.h"
#include "sim_test_helpers.h"

namespace kt::sim {
namespace {

using test::Command;
using test::DevicePath;
using test::Wire;

TEST(SimNamespace, OpensOnlyAttachedPluggedSlotsByTheirExactPath) {
  SimDriver driver;
  driver.Attach(0);
  driver.Attach(5);
  driver.Attach(6);
  driver.Unplug(6);
  for (int slot = 0; slot < 8; ++slot) {
    const platform::DeviceHandle handle = driver.Open(DevicePath(slot).c_str());
    const bool expected = slot == 0 || slot == 5;
    EXPECT_EQ(handle != platform::kInvalidDeviceHandle, expected) << "slot " << slot;
    if (expected) {
      EXPECT_NE(handle, platform::kNullDeviceHandle);
    }
    if (handle != platform::kInvalidDeviceHandle) {
      EXPECT_TRUE(driver.Close(handle));
    }
  }
  const std::string long_path(100000, 'K');
  for (const char* path : {"\\\\.\\KCamV7R2KTHM-8", "\\\\.\\KCamV7R2KTHM-00",
                           "\\\\.\\KCamV7R2KTHM-0 ", "\\\\.\\kcamv7r2kthm-0", "KCamV7R2KTHM-0",
                           "\\\\.\\KCamV7R2KTHM--1", "", long_path.c_str()}) {
    EXPECT_EQ(driver.Open(path), platform::kInvalidDeviceHandle) << path;
  }
  EXPECT_EQ(driver.Open(nullptr), platform::kInvalidDeviceHandle);
  EXPECT_EQ(driver.Attach(8), nullptr);
  EXPECT_EQ(driver.Attach(-1), nullptr);
  EXPECT_FALSE(driver.Unplug(3));
  EXPECT_FALSE(driver.Detach(3));
}

TEST(SimNamespace, HandlesAreUniqueAndDieWithCloseUnplugAndDetach) {
  SimDriver driver;
  const std::shared_ptr<SimCamera> camera = driver.Attach(0);
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(driver.Attach(0), camera);  // attaching again keeps the camera

  std::set<platform::DeviceHandle> seen;
  for (int i = 0; i < 20; ++i) {
    const platform::DeviceHandle handle = driver.Open(DevicePath(0).c_str());
    EXPECT_TRUE(seen.insert(handle).second) << "handle reused";
    EXPECT_TRUE(driver.Close(handle));
    EXPECT_FALSE(driver.Close(handle));  // closed twice
  }

  Wire first(driver, 0);
  Wire second(driver, 0);  // many handles to one camera at once
  EXPECT_NE(first.handle(), second.handle());
  EXPECT_TRUE(first.WriteSensor(300, 7));
  EXPECT_EQ(second.ReadSensor(300), 7);

  // A closed or never-opened handle fails every request.
  const platform::DeviceHandle closed = driver.Open(DevicePath(0).c_str());
  driver.Close(closed);
  uint8_t command[64] = {protocol::kCmdSelectCamera};
  const uint8_t pipe0[4] = {0, 0, 0, 0};
  uint32_t moved = 99;
  EXPECT_FALSE(driver.IoControl(closed, protocol::kIoctlPipeWrite, pipe0, 4, command, 64, &moved));
  EXPECT_EQ(moved, 0u);
  EXPECT_FALSE(driver.IoControl(12345, protocol::kIoctlPipeWrite, pipe0, 4, command, 64, &moved));
  EXPECT_FALSE(driver.Close(platform::kInvalidDeviceHandle));

  // Unplugged: open handles fail, new opens fail; replugged: new opens work but
  // the old handles stay dead, as after a surprise removal.
  EXPECT_TRUE(driver.Unplug(0));
  EXPECT_FALSE(first.WriteSensor(300, 8));
  EXPECT_EQ(driver.Open(DevicePath(0).c_str()), platform::kInvalidDeviceHandle);
  EXPECT_TRUE(driver.Replug(0));
  EXPECT_FALSE(first.WriteSensor(300, 8));
  Wire third(driver, 0);
  EXPECT_EQ(third.ReadSensor(300), 7);        // the camera kept its registers
  EXPECT_TRUE(driver.Close(first.handle()));  // a dead handle can still be closed

  // Detached: handles fail; a camera attached afterwards is a fresh one.
  EXPECT_TRUE(driver.Detach(0));
  EXPECT_EQ(driver.camera(0), nullptr);
  EXPECT_FALSE(third.WriteSensor(300, 9));
  EXPECT_FALSE(driver.Replug(0));
  ASSERT_NE(driver.Attach(0), nullptr);
  Wire fourth(driver, 0);
  EXPECT_EQ(fourth.ReadSensor(300), 0);
}

TEST(SimNamespace, RefusesMalformedRequests) {
  SimDriver driver;
  driver.Attach(0);
  Wire wire(driver, 0);
  test::Bytes command = Command({protocol::kCmdWriteSensorRegister, 1, 44, 9});
  uint32_t moved = 0;
  const uint8_t pipe0[4] = {0, 0, 0, 0};
  const uint8_t pipe0_long[8] = {0};
  const uint8_t pipe3[4] = {3, 0, 0, 0};
  const uint8_t pipe_high[4] = {0, 0, 0, 1};  // 0x01000000, not pipe 0
  const platform::DeviceHandle h = wire.handle();
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, nullptr, 4, command.data(), 64, &moved));
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, pipe0, 3, command.data(), 64, &moved));
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, pipe0_long, 8, command.data(), 64, &moved));
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, pipe3, 4, command.data(), 64, &moved));
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, pipe_high, 4, command.data(), 64, &moved));
  EXPECT_FALSE(driver.IoControl(h, 0x00222000, pipe0, 4, command.data(), 64, &moved));
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlLargeFrameRead, pipe0, 4, command.data(), 64, &moved));
  // Commands are whole 64-byte packets.
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, pipe0, 4, command.data(), 63, &moved));
  EXPECT_FALSE(driver.IoControl(h, protocol::kIoctlPipeWrite, pipe0, 4, nullptr, 64, &moved));
  command.resize(65);
  EXPECT_FALSE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, pipe0, 4, command.data(), 65, &moved));
  EXPECT_EQ(driver.camera(0)->sensor_register(300), 0) << "a refused command had an effect";
  // A null byte count is tolerated.
  EXPECT_TRUE(
      driver.IoControl(h, protocol::kIoctlPipeWrite, pipe0, 4, command.data(), 64, nullptr));
  EXPECT_EQ(driver.camera(0)->sensor_register(300), 9);
}

TEST(SimNamespace, DefaultDriverHasOneCameraAtSlotZero) {
  SimDriver& driver = SimDriver::Default();
  EXPECT_EQ(&driver, &SimDriver::Default());
  EXPECT_NE(driver.camera(0), nullptr);
  for (int slot = 1; slot < 8; ++slot) EXPECT_EQ(driver.camera(slot), nullptr) << slot;
}

TEST(SimNamespace, ScopedDriverInstallsAndRestoresThePort) {
  platform::DriverPort* before = platform::InstalledDriverPort();
  {
    ScopedSimDriver outer;
    EXPECT_EQ(&platform::CurrentDriverPort(), &outer.driver());
    {
      ScopedSimDriver inner;
      EXPECT_EQ(&platform::CurrentDriverPort(), &inner.driver());
    }
    EXPECT_EQ(&platform::CurrentDriverPort(), &outer.driver());
    EXPECT_EQ(outer.driver().camera(0), nullptr);  // a fresh driver has no camera
  }
  EXPECT_EQ(platform::InstalledDriverPort(), before);
}

TEST(SimCommandLog, RecordsEveryRequestWithItsBytes) {
  SimDriver driver;
  driver.Attach(1);
  EXPECT_EQ(driver.Open(DevicePath(2).c_str()), platform::kInvalidDeviceHandle);
  {
    Wire wire(driver, 1);
    EXPECT_EQ(wire.ReadControl(14), protocol::control::kPixelFormat16Bit);
    test::Bytes frame(test::kFullFrameBytes);
    uint32_t moved = 0;
    driver.camera(1)->SetFrameRate(0);
    EXPECT_TRUE(wire.ReadFrame(frame, &moved));
  }
  const std::vector<LoggedRequest> log = driver.log().Snapshot();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[0].kind, RequestKind::kOpen);
  EXPECT_EQ(log[0].slot, 2);
  EXPECT_FALSE(log[0].ok);
  EXPECT_EQ(log[1].kind, RequestKind::kOpen);
  EXPECT_TRUE(log[1].ok);
  EXPECT_EQ(log[2].code, protocol::kIoctlPipeWrite);
  EXPECT_EQ(log[2].pipe, protocol::kPipeCommand);
  EXPECT_EQ(log[2].bytes, Command({protocol::kCmdReadControlRegister, 14}));
  EXPECT_EQ(log[3].pipe, protocol::kPipeReply);
  EXPECT_EQ(log[3].bytes, Command({protocol::kCmdReadControlRegister}));  // status reply
  EXPECT_EQ(log[4].bytes, Command({protocol::control::kPixelFormat16Bit}));
  EXPECT_EQ(log[5].pipe, protocol::kPipeFrame);
  EXPECT_TRUE(log[5].bytes.empty());
  EXPECT_EQ(log[5].requested, test::kFullFrameBytes);
  EXPECT_EQ(log[5].returned, test::kFullFrameBytes);
  EXPECT_EQ(log[6].kind, RequestKind::kClose);
  for (size_t i = 1; i < log.size(); ++i) {
    EXPECT_EQ(log[i].slot, 1);
    EXPECT_TRUE(log[i].ok);
  }
  EXPECT_EQ(driver.log().Commands(1), std::vector<test::Bytes>{log[2].bytes});
  EXPECT_TRUE(driver.log().Commands(0).empty());
  driver.log().Clear();
  EXPECT_TRUE(driver.log().Snapshot().empty());
}

TEST(SimCommandLog, KeepsTheNewestEntriesWithinTwiceItsLimit) {
  CommandLog log;
  for (uint32_t i = 0; i < 3 * CommandLog::kLimit + 5; ++i) {
    LoggedRequest entry;
    entry.requested = i;
    log.Append(entry);
  }
  const std::vector<LoggedRequest> kept = log.Snapshot();
  EXPECT_GE(kept.size(), CommandLog::kLimit);
  EXPECT_LE(kept.size(), 2 * CommandLog::kLimit);
  EXPECT_EQ(kept.back().requested, 3 * CommandLog::kLimit + 4);
  for (size_t i = 1; i < kept.size(); ++i) EXPECT_EQ(kept[i].requested, kept[i - 1].requested + 1);
}

}  // namespace
}  // namespace kt::sim
