// Register commands, start-up and window set-up, checked through the commands
// the simulated camera received.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "device/command_decoder.h"
#include "device/kol_cam_sdk.h"
#include "sim/sim_driver.h"

namespace kt {
namespace {

using Sequence = std::vector<std::string>;

class SensorControlTest : public ::testing::Test {
 protected:
  SensorControlTest() : camera_(sim_.driver().Attach(0)) {}

  // The device object set up slot 0 in its constructor; tests start from a
  // clean log.
  CKolCamV7R2KTHERMOSdk& Device() {
    if (!device_) device_ = std::make_unique<CKolCamV7R2KTHERMOSdk>();
    sim_.driver().log().Clear();
    return *device_;
  }
  Sequence Sent() { return test::DecodedCommands(sim_.driver(), 0); }

  sim::ScopedSimDriver sim_;
  std::shared_ptr<sim::SimCamera> camera_;
  std::unique_ptr<CKolCamV7R2KTHERMOSdk> device_;
};

TEST_F(SensorControlTest, RegisterCommandsCarryTheirBytes) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  EXPECT_EQ(1, device.WriteSensorRegister(0x1234, 0x1FF));
  EXPECT_EQ(0xFF, camera_->sensor_register(0x1234));
  EXPECT_EQ(1, device.WriteControlRegister(0x1A5, 0x177));
  EXPECT_EQ(0x77, camera_->control_register(0xA5));
  camera_->set_sensor_register(300, 0xAB);
  camera_->set_control_register(44, 0xCD);
  uint8_t value = 0;
  EXPECT_EQ(1, device.ReadSensorRegister(300, &value));
  EXPECT_EQ(0xAB, value);
  EXPECT_EQ(1, device.ReadControlRegister(44, &value));
  EXPECT_EQ(0xCD, value);
  EXPECT_EQ(1, device.RequestNuc());
  EXPECT_EQ((Sequence{"ws:4660=255", "wc:165=119", "rs:300", "rc:44", "nuc:101,3,6,0,1"}), Sent());
}

TEST_F(SensorControlTest, InternalTemperatureRawValue) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  // The temperature whose raw reading is 0x1234.
  camera_->SetInternalTemperature(static_cast<float>(4660 * 3.6 / 32767.0 * (-206.685) + 473.874));
  uint16_t raw = 0;
  ASSERT_EQ(1, device.ReadInternalTemperatureRaw(&raw));
  EXPECT_EQ(0x1234, raw);
  EXPECT_EQ((Sequence{"temp"}), Sent());
}

TEST_F(SensorControlTest, FailedReadsReportZero) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  camera_->FailRegisterReads(true);
  uint8_t value = 0x5A;
  EXPECT_EQ(0, device.ReadControlRegister(7, &value));
  EXPECT_EQ(0, value);
  value = 0x5A;
  EXPECT_EQ(0, device.ReadSensorRegister(64, &value));
  EXPECT_EQ(0, value);
  uint16_t raw = 777;
  EXPECT_EQ(0, device.ReadInternalTemperatureRaw(&raw));
  EXPECT_EQ(777, raw);  // untouched
  EXPECT_FALSE(device.SetRegister64Bit0(1));
  EXPECT_EQ((Sequence{"rc:7", "rs:64", "temp", "rs:64"}), Sent());  // no write after a failed read
}

TEST_F(SensorControlTest, Register64BitOperations) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  camera_->set_sensor_register(64, 0x02);
  EXPECT_TRUE(device.SetRegister64Bit0(1));
  EXPECT_EQ(0x03, camera_->sensor_register(64));
  EXPECT_EQ(1, device.register64_bit0());
  EXPECT_TRUE(device.SetRegister64Bit1(0));
  EXPECT_EQ(0x01, camera_->sensor_register(64));
  EXPECT_EQ(0, device.register64_bit1());
  EXPECT_EQ((Sequence{"rs:64", "ws:64=3", "rs:64", "ws:64=1"}), Sent());
}

TEST_F(SensorControlTest, StartSensorOnAnUnconfiguredSensor) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  for (uint16_t r : {247, 248, 249}) camera_->set_sensor_register(r, 0);
  camera_->set_sensor_register(64, 0x00);
  device.StartSensor();
  const Sequence expected = {"rs:0",     "rs:1",     "rs:2",     "rs:3",    "wc:84=0", "wc:80=0",
                             "wc:80=16", "wc:80=0",  "rs:247",   "rs:248",  "rs:249",  "ws:92=0",
                             "ws:65=32", "ws:91=51", "ws:139=3", "ws:92=5", "rs:247",  "rs:248",
                             "rs:249",   "rs:64",    "ws:64=2",  "rs:64",   "ws:64=3", "ws:65=96"};
  EXPECT_EQ(expected, Sent());
}

TEST_F(SensorControlTest, StartSensorOnAConfiguredSensorSkipsTheSetUpWrites) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  camera_->set_sensor_register(247, 0x55);
  camera_->set_sensor_register(248, 0xC6);
  camera_->set_sensor_register(249, 0xC9);
  camera_->set_sensor_register(64, 0x00);
  device.StartSensor();
  const Sequence expected = {"rs:0",    "rs:1",     "rs:2",    "rs:3",    "wc:84=0",
                             "wc:80=0", "wc:80=16", "wc:80=0", "rs:247",  "rs:248",
                             "rs:249",  "rs:247",   "rs:248",  "rs:249",  "rs:64",
                             "ws:64=2", "rs:64",    "ws:64=3", "ws:65=96"};
  EXPECT_EQ(expected, Sent());
}

TEST_F(SensorControlTest, FullFrameWindow) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  EXPECT_TRUE(device.SetWindow(0, 0, 384, 288, 0));
  EXPECT_EQ(110592, device.transfer_unit_count());
  EXPECT_EQ(0, device.large_transfer());
  const Sequence expected = {"len:110592", "ws:92=0", "ws:71=0",   "ws:72=0",  "ws:67=0",
                             "ws:68=0",    "ws:73=0", "ws:74=192", "ws:69=0",  "ws:70=143",
                             "ws:86=1",    "ws:98=0", "wc:0=255",  "wc:1=176", "wc:2=1",
                             "wc:3=0",     "wc:0=0"};
  EXPECT_EQ(expected, Sent());
  // Command 9 carries the transfer unit count little-endian in bytes 1 to 4.
  const auto commands = sim_.driver().log().Commands(0);
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ((std::vector<uint8_t>{9, 0x00, 0xB0, 0x01, 0x00}),
            std::vector<uint8_t>(commands[0].begin(), commands[0].begin() + 5));
}

TEST_F(SensorControlTest, WindowArgumentsAreChecked) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  EXPECT_TRUE(device.SetWindow(0, 0, 4, 3, 0));
  EXPECT_EQ(4, device.window_width());
  sim_.driver().log().Clear();
  const struct {
    int x, y, w, h, mode;
  } rejected[] = {{0, 0, 3, 3, 0},     {0, 0, 4, 2, 0},          {1, 0, 384, 288, 0},
                  {0, 1, 384, 288, 0}, {-1, 0, 8, 8, 0},         {0, -1, 8, 8, 0},
                  {0, 0, 8, 8, 4},     {0, 0, 8, 8, 16},         {0, 0, 8, 8, 19},
                  {0, 0, 8, 8, -1},    {0x7FFFFFFF, 0, 8, 8, 0}, {0, 0, 0x7FFFFFFF, 8, 0}};
  for (const auto& r : rejected) {
    EXPECT_FALSE(device.SetWindow(r.x, r.y, r.w, r.h, r.mode))
        << r.x << "," << r.y << " " << r.w << "x" << r.h << " m" << r.mode;
  }
  EXPECT_TRUE(Sent().empty());  // a rejected window sends nothing
  EXPECT_EQ(4, device.window_width());
  for (int mode : {1, 2, 3, 17, 18}) EXPECT_TRUE(device.SetWindow(8, 6, 100, 50, mode)) << mode;
  // Odd positions and sizes are halved with truncation.
  sim_.driver().log().Clear();
  EXPECT_TRUE(device.SetWindow(3, 5, 101, 51, 0));
  const Sequence sent = Sent();
  ASSERT_GE(sent.size(), 10u);
  EXPECT_EQ("ws:72=1", sent[3]);
  EXPECT_EQ("ws:68=2", sent[5]);
  EXPECT_EQ("ws:74=50", sent[7]);
  EXPECT_EQ("ws:70=24", sent[9]);
}

TEST_F(SensorControlTest, SelectingADeviceResetsTheTransferMode) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  device.SetTransferMode(1);
  EXPECT_EQ(1, device.transfer_mode());
  EXPECT_EQ((Sequence{"mode:1", "wc:14=9"}), Sent());
  sim_.driver().log().Clear();
  EXPECT_EQ(22, device.SelectDevice(9));
  EXPECT_EQ(22, device.SelectDevice(-1));
  EXPECT_EQ(0, device.SelectDevice(0));
  EXPECT_EQ(0, device.transfer_mode());
  EXPECT_EQ((Sequence{"mode:1", "wc:14=8"}), Sent());
}

TEST_F(SensorControlTest, ConstructionProbesAndSetsUpSlotZero) {
  sim_.driver().Attach(2);
  CKolCamV7R2KTHERMOSdk device;
  EXPECT_EQ(1, device.IsPresent(0));
  EXPECT_EQ(0, device.IsPresent(1));
  EXPECT_EQ(1, device.IsPresent(2));
  EXPECT_EQ(0, device.IsPresent(8));
  EXPECT_EQ(0, device.IsPresent(-1));
  EXPECT_STREQ("\\\\.\\KCamV7R2KTHM-0", device.device_path().c_str());
  const Sequence sent = test::DecodedCommands(sim_.driver(), 0);
  ASSERT_GE(sent.size(), 4u);
  EXPECT_EQ("mode:1", sent[0]);
  EXPECT_EQ("wc:14=8", sent[1]);
  EXPECT_EQ("select", sent[2]);
  EXPECT_EQ("rs:0", sent[3]);
  EXPECT_EQ("len:110592", sent[sent.size() - 17]);
  EXPECT_EQ("wc:0=0", sent.back());
  EXPECT_TRUE(test::DecodedCommands(sim_.driver(), 2).empty());
}

TEST_F(SensorControlTest, RepliesNeverCrossBetweenThreads) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  camera_->set_control_register(100, 0x11);
  camera_->set_control_register(101, 0x22);
  int wrong = 0;
  auto reader = [&device](int address, uint8_t expected, int* errors) {
    for (int i = 0; i < 300; ++i) {
      uint8_t value = 0;
      if (device.ReadControlRegister(address, &value) != 1 || value != expected) ++*errors;
    }
  };
  int wrong_a = 0;
  int wrong_b = 0;
  std::thread a(reader, 100, uint8_t{0x11}, &wrong_a);
  std::thread b(reader, 101, uint8_t{0x22}, &wrong_b);
  a.join();
  b.join();
  wrong = wrong_a + wrong_b;
  EXPECT_EQ(0, wrong);
}

// One thread selects cameras and probes the slots while another reads
// registers and the selection: every exchange reaches one whole camera, and
// the readers see the flags and the slot as one of the values written.
TEST_F(SensorControlTest, SelectingACameraDuringExchanges) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  const std::shared_ptr<sim::SimCamera> other = sim_.driver().Attach(2);
  camera_->set_control_register(100, 0x11);
  other->set_control_register(100, 0x33);
  device.ProbeDevices();
  std::thread selector([&device] {
    for (int i = 0; i < 200; ++i) {
      device.SetDevicePath(i % 2 == 0 ? 2 : 0);
      if (i % 50 == 0) device.ProbeDevices();
    }
  });
  int wrong = 0;
  for (int i = 0; i < 200; ++i) {
    uint8_t value = 0;
    if (device.ReadControlRegister(100, &value) != 1 || (value != 0x11 && value != 0x33)) ++wrong;
    if (device.IsPresent(0) != 1 || device.IsPresent(2) != 1) ++wrong;
    const int slot = device.selected_slot();
    if (slot != 0 && slot != 2) ++wrong;
  }
  selector.join();
  EXPECT_EQ(0, wrong);
}

TEST_F(SensorControlTest, UnplugDuringAnExchange) {
  CKolCamV7R2KTHERMOSdk& device = Device();
  camera_->set_control_register(7, 0x04);
  // The command goes out, then the camera vanishes before its replies.
  camera_->UnplugAfterRequests(1);
  uint8_t value = 0xEE;
  EXPECT_EQ(0, device.ReadControlRegister(7, &value));
  EXPECT_EQ(0, value);
  EXPECT_EQ(0, device.WriteControlRegister(7, 0));
  uint16_t raw = 5;
  EXPECT_EQ(0, device.ReadInternalTemperatureRaw(&raw));
  EXPECT_EQ(5, raw);
  ASSERT_TRUE(sim_.driver().Replug(0));
  EXPECT_EQ(1, device.ReadControlRegister(7, &value));
  EXPECT_EQ(0x04, value);
}

}  // namespace
}  // namespace kt
