// Every export that takes an instance ID answers an unknown one with its
// failure value and touches nothing.
#include <gtest/gtest.h>

#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/sim_driver.h"

namespace {

// Every test runs against a simulated driver with no camera attached.
class UnknownIdTest : public ::testing::Test {
 protected:
  kt::sim::ScopedSimDriver no_cameras_;
};

// Calls every ID-taking export with `id` and counts non-failure results.
int NonFailingExports(int id) {
  int wrong = 0;
  unsigned short raw[4] = {};
  unsigned char colour[4] = {};
  float temps[4] = {};
  char name[64] = {};
  KolThermoWChar wname[64] = {};
  const KolThermoWChar wpath[] = {'x', 0};
  auto check = [&wrong](int result) { wrong += result != 0 ? 1 : 0; };
  check(KolThermo_GetLastError(id));
  check(KolThermo_SetWindowHandle(id, nullptr));
  check(KolThermo_SetCameraType(id, 1));
  check(KolThermo_SetParam(id, 9, 5));
  check(KolThermo_GetParam(id, 1));
  check(KolThermo_IsCameraEnableA(id, 0, name, sizeof name));
  check(KolThermo_IsCameraEnableW(id, 0, wname, 64));
  check(KolThermo_SetCameraNumber(id, 0));
  check(KolThermo_Preview(id));
  check(KolThermo_Close(id));
  check(KolThermo_Pause(id));
  check(KolThermo_Start(id));
  check(KolThermo_OneShot(id));
  check(KolThermo_Trigger(id));
  check(KolThermo_GetNewID(id));
  check(KolThermo_Nuc(id));
  check(KolThermo_GetRaw(id, 1, raw, sizeof raw));
  check(KolThermo_GetColor(id, 1, colour, sizeof colour));
  check(KolThermo_GetTemperature(id, 1, temps, sizeof temps));
  check(KolThermo_SetTableA(id, "table.bin"));
  check(KolThermo_SetTableW(id, wpath));
  check(KolThermo_SaveA(id, "still.bmp", 0));
  check(KolThermo_SaveW(id, wpath, 0));
  check(KolThermo_RecA(id, "video.avi", 2));
  check(KolThermo_RecW(id, wpath, 2));
  int status = 1234;
  if (KolThermo_GetInternalTemperature(id, &status) != 0.0f) ++wrong;
  if (status != 1234) ++wrong;  // left untouched for an unknown instance
  if (KolThermo_GetInternalTemperature(id, nullptr) != 0.0f) ++wrong;
  check(KolThermo_Release(id));
  return wrong;
}

TEST_F(UnknownIdTest, EveryExportFailsWithoutAnInstance) {
  EXPECT_EQ(0, NonFailingExports(0));
  EXPECT_EQ(0, NonFailingExports(-1));
  EXPECT_EQ(0, NonFailingExports(0x7FFFFFFF));
}

TEST_F(UnknownIdTest, AReleasedIdIsUnknownAndQueuesNothing) {
  const int id = KolThermo_Initialize(nullptr);
  ASSERT_NE(0, id);
  const int other = KolThermo_Initialize(nullptr);
  ASSERT_NE(0, other);
  ASSERT_EQ(1, KolThermo_Release(id));
  EXPECT_EQ(0, NonFailingExports(id));
  // The other instance still works and got no codes from the calls above
  // beyond its own initialisation's.
  EXPECT_EQ(384, KolThermo_GetParam(other, 1));
  std::vector<int> codes;
  for (int code; (code = KolThermo_GetLastError(other)) != 0;) codes.push_back(code);
  EXPECT_EQ(std::vector<int>{8}, codes);
  EXPECT_EQ(1, KolThermo_Release(other));
}

TEST_F(UnknownIdTest, VersionNeedsNoInstance) { EXPECT_EQ(1967181, KolThermo_GetDllVersion()); }

}  // namespace
