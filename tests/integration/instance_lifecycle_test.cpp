// An instance's life through the C interface.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/sim_driver.h"
#include "support/codes.h"
#include "support/host_window_probe.h"

namespace {

// Every test runs against a simulated driver with no camera attached.
class InstanceLifecycleTest : public ::testing::Test {
 protected:
  kt::sim::ScopedSimDriver no_cameras_;
};

using kt::test::DrainCodes;

TEST_F(InstanceLifecycleTest, InitializeReportsTheMissingCameraAndKeepsTheId) {
  kt::test::HostWindowProbe window;
  const int id = KolThermo_Initialize(static_cast<KolThermoHWND>(window.handle()));
  ASSERT_NE(0, id);
  // No camera answers the internal-temperature read: code 8, posted as well.
  kt::test::PostedMessage message;
  ASSERT_TRUE(window.Next(&message, 1000));
  EXPECT_EQ(static_cast<unsigned>(KOLTHERMO_MSG_EVENT), message.message);
  EXPECT_EQ(KOLTHERMO_CODE_DEVICE_CONTROL_FAILED, message.lparam);
  EXPECT_EQ(std::vector<int>{8}, DrainCodes(id));
  EXPECT_EQ(0, KolThermo_GetLastError(id));
  EXPECT_EQ(0, KolThermo_GetNewID(id));
  EXPECT_EQ(1, KolThermo_Release(id));
  EXPECT_EQ(0, KolThermo_Release(id));
}

TEST_F(InstanceLifecycleTest, CameraTypeIsNotSupported) {
  const int id = KolThermo_Initialize(nullptr);
  DrainCodes(id);
  EXPECT_EQ(0, KolThermo_SetCameraType(id, 3));
  EXPECT_EQ(std::vector<int>{10}, DrainCodes(id));
  KolThermo_Release(id);
}

TEST_F(InstanceLifecycleTest, WindowHandleCanBeReplacedAndCleared) {
  kt::test::HostWindowProbe window;
  const int id = KolThermo_Initialize(nullptr);
  DrainCodes(id);
  EXPECT_EQ(1, KolThermo_SetWindowHandle(id, static_cast<KolThermoHWND>(window.handle())));
  KolThermo_SetCameraType(id, 0);
  kt::test::PostedMessage message;
  ASSERT_TRUE(window.Next(&message, 1000));
  EXPECT_EQ(KOLTHERMO_CODE_NOT_SUPPORTED, message.lparam);
  EXPECT_EQ(1, KolThermo_SetWindowHandle(id, nullptr));
  KolThermo_SetCameraType(id, 0);
  EXPECT_FALSE(window.Next(&message, 50));
  EXPECT_EQ((std::vector<int>{10, 10}), DrainCodes(id));
  KolThermo_Release(id);
}

TEST_F(InstanceLifecycleTest, ParametersThroughTheInterface) {
  const int id = KolThermo_Initialize(nullptr);
  DrainCodes(id);
  EXPECT_EQ(0, KolThermo_SetParam(id, 8, 10));
  EXPECT_EQ(std::vector<int>{5}, DrainCodes(id));
  EXPECT_EQ(30, KolThermo_GetParam(id, 8));
  EXPECT_EQ(1, KolThermo_SetParam(id, 15, 7));
  EXPECT_EQ(1, KolThermo_GetParam(id, 15));
  EXPECT_EQ(0, KolThermo_SetParam(id, 16, 1));
  EXPECT_EQ(std::vector<int>{10}, DrainCodes(id));
  EXPECT_EQ(0, KolThermo_GetParam(id, 16));
  KolThermo_Release(id);
}

TEST_F(InstanceLifecycleTest, NarrowAndWideFormsFailAlikeOnNullPaths) {
  const int id = KolThermo_Initialize(nullptr);
  DrainCodes(id);
  EXPECT_EQ(KolThermo_SetTableW(id, nullptr), KolThermo_SetTableA(id, nullptr));
  const std::vector<int> codes = DrainCodes(id);
  ASSERT_EQ(2u, codes.size());
  EXPECT_EQ(codes[0], codes[1]);
  KolThermo_Release(id);
}

TEST_F(InstanceLifecycleTest, InternalTemperatureWithoutACamera) {
  const int id = KolThermo_Initialize(nullptr);
  DrainCodes(id);
  int status = 7;
  EXPECT_EQ(0.0f, KolThermo_GetInternalTemperature(id, &status));
  EXPECT_EQ(0, status);
  EXPECT_EQ(0.0f, KolThermo_GetInternalTemperature(id, nullptr));
  EXPECT_EQ((std::vector<int>{8, 8}), DrainCodes(id));
  KolThermo_Release(id);
}

TEST_F(InstanceLifecycleTest, ConcurrentCallsAndReleaseFromOtherThreads) {
  // Several host threads use one instance while another releases it: every
  // call either completes on the live instance or fails as for an unknown ID.
  for (int round = 0; round < 5; ++round) {
    const int id = KolThermo_Initialize(nullptr);
    ASSERT_NE(0, id);
    std::vector<std::thread> users;
    for (int t = 0; t < 3; ++t) {
      users.emplace_back([id] {
        for (int i = 0; i < 200; ++i) {
          const int width = KolThermo_GetParam(id, 1);
          EXPECT_TRUE(width == 384 || width == 0);
          KolThermo_SetParam(id, 13, i);
          KolThermo_GetLastError(id);
        }
      });
    }
    std::this_thread::yield();
    EXPECT_EQ(1, KolThermo_Release(id));
    for (auto& user : users) user.join();
    EXPECT_EQ(0, KolThermo_GetParam(id, 1));
  }
}

}  // namespace
