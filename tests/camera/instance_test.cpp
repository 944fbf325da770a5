#include <gtest/gtest.h>

#include "camera/kol_thermo.h"
#include "sim/sim_driver.h"
#include "support/host_window_probe.h"

namespace kt {
namespace {

TEST(InstanceTest, ConstructionLeavesTheRingEmptyUntilInitialize) {
  sim::ScopedSimDriver no_cameras;
  CKolThermo instance;
  EXPECT_EQ(0u, instance.ring_slot_count());
  EXPECT_EQ(0, instance.GetNewID());
  // Before the ring exists its size may still be chosen.
  EXPECT_EQ(1, instance.SetParam(8, 4));
  EXPECT_EQ(4, instance.GetParam(8));
  instance.Initialize(nullptr);
  EXPECT_EQ(4u, instance.ring_slot_count());
}

TEST(InstanceTest, InitializeWithoutACameraRaisesDeviceControlFailed) {
  sim::ScopedSimDriver no_cameras;
  test::HostWindowProbe window;
  CKolThermo instance;
  EXPECT_EQ(1, instance.Initialize(window.handle()));
  EXPECT_EQ(30u, instance.ring_slot_count());
  EXPECT_EQ(0, instance.GetNewID());
  EXPECT_EQ(0.0f, instance.recorded_internal_temperature());
  EXPECT_EQ(CThermoTable::ActiveList::kCompensated, instance.table().active_list());
  EXPECT_NE(nullptr, instance.table().recorded_temperature_source());

  test::PostedMessage message;
  ASSERT_TRUE(window.Next(&message, 1000));
  EXPECT_EQ(kEventMessage, message.message);
  EXPECT_EQ(8, message.lparam);
  EXPECT_EQ(8u, instance.codes().TakeNewest());
  EXPECT_EQ(0u, instance.codes().TakeNewest());
}

TEST(InstanceTest, InternalTemperatureConversion) {
  EXPECT_FLOAT_EQ(19.718294f, CKolThermo::InternalTemperatureFromRaw(20000));
  EXPECT_FLOAT_EQ(101.829643f, CKolThermo::InternalTemperatureFromRaw(16384));
  EXPECT_FLOAT_EQ(473.874f, CKolThermo::InternalTemperatureFromRaw(0));
}

TEST(InstanceTest, InitializeRecordsTheCamerasInternalTemperature) {
  sim::ScopedSimDriver sim;
  sim.driver().Attach(0)->SetInternalTemperature(28.25f);
  CKolThermo instance;
  EXPECT_EQ(1, instance.Initialize(nullptr));
  EXPECT_NEAR(28.25f, instance.recorded_internal_temperature(), 0.05f);
  EXPECT_EQ(0u, instance.codes().size());
}

TEST(InstanceTest, CloseOnAnIdleInstanceSucceedsRepeatedly) {
  sim::ScopedSimDriver no_cameras;
  CKolThermo instance;
  instance.Initialize(nullptr);
  EXPECT_EQ(1, instance.Close());
  EXPECT_EQ(1, instance.Close());
  EXPECT_EQ(0, instance.GetParam(5));
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

TEST(InstanceTest, CameraSelectionIsRefusedWhileTheDeviceStreams) {
  sim::ScopedSimDriver sim;
  sim.driver().Attach(0)->SetFrameRate(1000.0);
  sim.driver().Attach(1);
  CKolThermo instance;
  instance.Initialize(nullptr);
  while (instance.codes().TakeNewest() != 0) {
  }
  CKolCamV7R2KTHERMOSdk& device = instance.device();
  device.SetTransferMode(1);
  ASSERT_EQ(0, device.StartStream());
  EXPECT_EQ(0, instance.SetCameraNumber(1));
  EXPECT_EQ(2u, instance.codes().TakeNewest());
  EXPECT_STREQ("\\\\.\\KCamV7R2KTHM-0",
               device.device_path().c_str());  // still the streaming camera
  EXPECT_EQ(0, device.StopStream());
  EXPECT_EQ(1, instance.SetCameraNumber(1));
  EXPECT_STREQ("\\\\.\\KCamV7R2KTHM-1", device.device_path().c_str());
}

}  // namespace
}  // namespace kt
