// The simulated-camera controls of kolthermo_host.h, on the process's driver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kolthermo/kolthermo_host.h"
#include "sim/sim_driver.h"

namespace kt::sim {
namespace {

TEST(SimHostExports, ControlTheDefaultDriversCameras) {
  SimDriver& driver = SimDriver::Default();
  ASSERT_EQ(KolThermoHost_SimAttach(7), 1);
  SimCamera* camera = driver.camera(7);
  ASSERT_NE(camera, nullptr);

  EXPECT_EQ(KolThermoHost_SimSetInternalTemperature(7, 41.25f), 1);
  float celsius = 0.0f;
  EXPECT_EQ(KolThermoHost_SimGetInternalTemperature(7, &celsius), 1);
  EXPECT_EQ(celsius, 41.25f);
  EXPECT_EQ(KolThermoHost_SimClearInternalTemperature(7), 1);
  EXPECT_NE(camera->internal_temperature(), 41.25f);

  EXPECT_EQ(KolThermoHost_SimSetFrameRate(7, 120.0), 1);
  EXPECT_EQ(camera->frame_rate(), 120.0);
  EXPECT_EQ(KolThermoHost_SimSetFault(7, KOLTHERMO_SIM_FAULT_UNPLUG_AFTER_REQUESTS, 0), 1);
  EXPECT_FALSE(camera->plugged());
  EXPECT_EQ(KolThermoHost_SimReplug(7), 1);
  EXPECT_TRUE(camera->plugged());
  EXPECT_EQ(KolThermoHost_SimUnplug(7), 1);
  EXPECT_FALSE(camera->plugged());
  EXPECT_EQ(KolThermoHost_SimReplug(7), 1);
  EXPECT_EQ(KolThermoHost_SimTriggerPulse(7), 1);
  EXPECT_EQ(KolThermoHost_SimSetScene(7, KOLTHERMO_SIM_SCENE_UNIFORM, 37.0f), 1);
  EXPECT_EQ(KolThermoHost_SimSetScene(7, KOLTHERMO_SIM_SCENE_DEFAULT, 0.0f), 1);
  for (int fault = KOLTHERMO_SIM_FAULT_SHORT_FRAMES;
       fault <= KOLTHERMO_SIM_FAULT_FAIL_REGISTER_READS; ++fault) {
    EXPECT_EQ(KolThermoHost_SimSetFault(7, fault, 0), 1) << fault;
  }

  // Refusals: bad slots, missing cameras, bad arguments.
  EXPECT_EQ(KolThermoHost_SimSetFault(7, 99, 1), 0);
  EXPECT_EQ(KolThermoHost_SimSetFault(7, KOLTHERMO_SIM_FAULT_SHORT_FRAMES, -1), 0);
  EXPECT_EQ(KolThermoHost_SimSetScene(7, KOLTHERMO_SIM_SCENE_UNIFORM, 300.0f), 0);
  EXPECT_EQ(KolThermoHost_SimSetScene(7, KOLTHERMO_SIM_SCENE_UNIFORM, std::nanf("")), 0);
  EXPECT_EQ(KolThermoHost_SimSetScene(7, 5, 20.0f), 0);
  EXPECT_EQ(KolThermoHost_SimSetFrameRate(7, -1.0), 0);
  EXPECT_EQ(KolThermoHost_SimSetFrameRate(7, std::numeric_limits<double>::infinity()), 0);
  EXPECT_EQ(KolThermoHost_SimSetInternalTemperature(7, std::nanf("")), 0);
  EXPECT_EQ(KolThermoHost_SimGetInternalTemperature(7, nullptr), 0);
  for (int slot : {-1, 8, 1000000}) {
    EXPECT_EQ(KolThermoHost_SimAttach(slot), 0);
    EXPECT_EQ(KolThermoHost_SimDetach(slot), 0);
    EXPECT_EQ(KolThermoHost_SimUnplug(slot), 0);
    EXPECT_EQ(KolThermoHost_SimReplug(slot), 0);
    EXPECT_EQ(KolThermoHost_SimTriggerPulse(slot), 0);
    EXPECT_EQ(KolThermoHost_SimGetInternalTemperature(slot, &celsius), 0);
  }

  EXPECT_EQ(KolThermoHost_SimDetach(7), 1);
  EXPECT_EQ(driver.camera(7), nullptr);
  EXPECT_EQ(KolThermoHost_SimDetach(7), 0);
  EXPECT_EQ(KolThermoHost_SimTriggerPulse(7), 0);
  EXPECT_EQ(KolThermoHost_SimSetFrameRate(7, 30.0), 0);
}

}  // namespace
}  // namespace kt::sim
