// The simulated-camera controls of kolthermo_host.h, on the process's driver.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "kolthermo/kolthermo_host.h"
#include "sim/sim_driver.h"

namespace kt::sim {
namespace {

TEST(SimHostExports, ControlTheDefaultDriversCameras) {
  SimDriver& driver = SimDriver::Default();
  ASSERT_EQ(KolThermoHost_SimAttach(7), 1);
  const std::shared_ptr<SimCamera> camera = driver.camera(7);
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
  EXPECT_EQ(KolThermoHost_SimSetUniformSurface(7, 80.0f, 0.9f, 20.0f), 1);
  EXPECT_EQ(KolThermoHost_SimSetUniformSurface(7, -40.0f, 1.0f, 250.0f), 1);
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
  struct BadSurface {
    float celsius, emissivity, reflected_c;
  };
  for (const BadSurface& bad :
       {BadSurface{80.0f, 0.0f, 20.0f}, BadSurface{80.0f, -0.5f, 20.0f},
        BadSurface{80.0f, 1.01f, 20.0f}, BadSurface{80.0f, std::nanf(""), 20.0f},
        BadSurface{300.0f, 0.9f, 20.0f}, BadSurface{80.0f, 0.9f, -41.0f},
        BadSurface{std::nanf(""), 0.9f, 20.0f},
        BadSurface{80.0f, 0.9f, std::numeric_limits<float>::infinity()}}) {
    EXPECT_EQ(KolThermoHost_SimSetUniformSurface(7, bad.celsius, bad.emissivity, bad.reflected_c),
              0)
        << bad.celsius << " " << bad.emissivity << " " << bad.reflected_c;
  }
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
    EXPECT_EQ(KolThermoHost_SimSetUniformSurface(slot, 80.0f, 0.9f, 20.0f), 0);
    EXPECT_EQ(KolThermoHost_SimGetInternalTemperature(slot, &celsius), 0);
  }

  EXPECT_EQ(KolThermoHost_SimDetach(7), 1);
  EXPECT_EQ(driver.camera(7), nullptr);
  EXPECT_EQ(KolThermoHost_SimDetach(7), 0);
  EXPECT_EQ(KolThermoHost_SimTriggerPulse(7), 0);
  EXPECT_EQ(KolThermoHost_SimSetFrameRate(7, 30.0), 0);
}

// A camera detached by one thread while another thread's calls work on it:
// each call either finds no camera (0) or completes on one that stays alive
// until the call ends. Run under the sanitizers, a call on freed memory fails.
TEST(SimHostExports, DetachDuringConcurrentCalls) {
  constexpr int kSlot = 6;
  constexpr int kRounds = 300;
  std::atomic<bool> detaching{true};
  std::atomic<int> bad_results{0};
  std::atomic<int> calls{0};
  std::thread caller([&] {
    const auto check = [&](int result) {
      if (result != 0 && result != 1) ++bad_results;
      ++calls;
    };
    while (detaching.load()) {
      check(KolThermoHost_SimSetScene(kSlot, KOLTHERMO_SIM_SCENE_UNIFORM, 30.0f));
      check(KolThermoHost_SimSetFrameRate(kSlot, 50.0));
      float celsius = 0.0f;
      check(KolThermoHost_SimGetInternalTemperature(kSlot, &celsius));
      check(KolThermoHost_SimSetFault(kSlot, KOLTHERMO_SIM_FAULT_STALL_FRAMES, 0));
      check(KolThermoHost_SimTriggerPulse(kSlot));
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    EXPECT_EQ(KolThermoHost_SimAttach(kSlot), 1);
    // Let the caller reach the camera before it goes again.
    const int seen = calls.load();
    while (calls.load() == seen) std::this_thread::yield();
    EXPECT_EQ(KolThermoHost_SimDetach(kSlot), 1);
  }
  detaching.store(false);
  caller.join();
  EXPECT_EQ(bad_results.load(), 0);
  EXPECT_EQ(SimDriver::Default().camera(kSlot), nullptr);
}

}  // namespace
}  // namespace kt::sim
