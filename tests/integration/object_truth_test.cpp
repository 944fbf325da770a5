// Measurement truth for surfaces that are not blackbodies: the simulated
// camera sees eps * L(T) + (1 - eps) * L(reflected), reports its blackbody
// temperature through a generated calibration table, and the thermography
// library's correction brings back the surface's true temperature. Only the
// public interfaces: KolThermo_*, the host extras and the thermography C API.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "kolthermo/kolthermo_host.h"
#include "kolthermo/kolthermo_thermography.h"
#include "platform/clock.h"
#include "sim/frame_generator.h"
#include "support/host_window_probe.h"
#include "support/test_support.h"
#include "support/test_time.h"
#include "table_writer.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr int kSlot = 0;
constexpr int kParamNucHoldMs = 10;
constexpr int kParamTopRowFirst = 17;
// Frames averaged per reading: the noise of one frame is already small over a
// box; a few frames make the low-emissivity case (which multiplies it) steady.
constexpr int kFramesPerReading = 4;

using kt::sim::SceneRect;

class ObjectTruthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The calibration temperature: the table reads the camera exactly and
    // the drift checks have nothing to do.
    ASSERT_EQ(1, KolThermoHost_SimSetInternalTemperature(kSlot, 30.0f));
    std::string error;
    const auto bytes = kt::table_writer::EncodeTable({kt::table_writer::Layout::k4000}, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    kt::test::WriteFileBytes(dir_.Path("table4000.bin"), bytes);

    id_ = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id_);
    ASSERT_EQ(1, KolThermo_SetParam(id_, kParamTopRowFirst, 1));
    const std::u16string path = dir_.Wide("table4000.bin");
    ASSERT_EQ(1, KolThermo_SetTableW(id_, reinterpret_cast<const KolThermoWChar*>(path.c_str())));
    ASSERT_EQ(1, KolThermo_Preview(id_));
  }
  void TearDown() override {
    KolThermo_Close(id_);
    KolThermo_Release(id_);
    KolThermoHost_SimClearInternalTemperature(kSlot);
    KolThermoHost_SimSetScene(kSlot, KOLTHERMO_SIM_SCENE_DEFAULT, 0.0f);
  }

  // The mean blackbody temperature of each pixel over a few frames, all taken
  // after a NUC (which clears the fixed pattern) and its hold are over.
  std::vector<double> SettledTemperatures() {
    EXPECT_EQ(1, KolThermo_Nuc(id_));
    const uint32_t settled_from = kt::platform::TimerTickMs() +
                                  static_cast<uint32_t>(KolThermo_GetParam(id_, kParamNucHoldMs)) +
                                  200;
    std::vector<double> sum(kWidth * kHeight, 0.0);
    std::vector<float> frame(kWidth * kHeight);
    int frames = 0;
    const auto give_up = kt::test::DeadlineIn(std::chrono::seconds(20));
    kt::test::PostedMessage message;
    while (frames < kFramesPerReading && std::chrono::steady_clock::now() < give_up) {
      if (!window_.Next(&message, 1000) || message.message != KOLTHERMO_MSG_FRAME_READY) continue;
      if (static_cast<int32_t>(kt::platform::TimerTickMs() - settled_from) < 0) continue;
      const int id = static_cast<int>(message.lparam);
      if (KolThermo_GetTemperature(id_, id, frame.data(),
                                   static_cast<unsigned>(frame.size() * sizeof(float))) != 1) {
        continue;
      }
      for (size_t p = 0; p < frame.size(); ++p) sum[p] += frame[p];
      ++frames;
    }
    EXPECT_EQ(frames, kFramesPerReading) << "no settled frames";
    for (double& value : sum) value /= frames > 0 ? frames : 1;
    return sum;
  }

  kt::test::HostWindowProbe window_;
  kt::test::TempDir dir_;
  int id_ = 0;
};

// The mean over a box, before and after correcting each of its pixels for the
// surface's emissivity and reflected temperature.
struct BoxReading {
  double uncorrected;
  double corrected;
};

BoxReading ReadBox(const std::vector<double>& temperatures, const SceneRect& box, float emissivity,
                   float reflected_c) {
  std::vector<float> measured;
  for (int y = box.top; y < box.bottom; ++y) {
    for (int x = box.left; x < box.right; ++x) {
      measured.push_back(static_cast<float>(temperatures[static_cast<size_t>(y) * kWidth + x]));
    }
  }
  std::vector<float> corrected(measured.size());
  const KolThermoObjectParams params{emissivity, reflected_c, 1.0f, 20.0f};
  int failed = -1;
  EXPECT_EQ(KOLTHERMO_THERMO_OK,
            KolThermoObjectTemperatures(measured.data(), corrected.data(),
                                        static_cast<int>(measured.size()), &params, &failed));
  EXPECT_EQ(0, failed);
  BoxReading reading{0.0, 0.0};
  for (size_t i = 0; i < measured.size(); ++i) {
    reading.uncorrected += measured[i] / static_cast<double>(measured.size());
    reading.corrected += corrected[i] / static_cast<double>(measured.size());
  }
  return reading;
}

struct UniformSurface {
  float celsius;
  float emissivity;
  float reflected_c;
  double tolerance;
};

TEST_F(ObjectTruthTest, UniformSurfacesReadLowUncorrectedAndTrueCorrected) {
  const UniformSurface cases[] = {
      {80.0f, 0.90f, 20.0f, 0.1},
      {150.0f, 0.50f, 40.0f, 0.2},
  };
  const SceneRect box{100, 80, 284, 208};
  for (const UniformSurface& surface : cases) {
    SCOPED_TRACE(testing::Message() << surface.celsius << " C, emissivity " << surface.emissivity
                                    << ", reflecting " << surface.reflected_c << " C");
    ASSERT_EQ(1, KolThermoHost_SimSetUniformSurface(kSlot, surface.celsius, surface.emissivity,
                                                    surface.reflected_c));
    const BoxReading reading =
        ReadBox(SettledTemperatures(), box, surface.emissivity, surface.reflected_c);
    EXPECT_LT(reading.uncorrected, surface.celsius - 2.0);
    EXPECT_NEAR(reading.corrected, surface.celsius, surface.tolerance);
  }
}

TEST_F(ObjectTruthTest, DefaultScenePolishedPlateIsTheEmissivityTrap) {
  ASSERT_EQ(1, KolThermoHost_SimSetScene(kSlot, KOLTHERMO_SIM_SCENE_DEFAULT, 0.0f));
  const std::vector<double> temperatures = SettledTemperatures();
  // Two pixels in from the edges: the box lies wholly on the surface.
  const auto inside = [](const SceneRect& r) {
    return SceneRect{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
  };
  const auto room = static_cast<float>(kt::sim::kRoomC);

  const BoxReading plate = ReadBox(temperatures, inside(kt::sim::kPolishedPlateRect),
                                   static_cast<float>(kt::sim::kPolishedPlateEmissivity), room);
  EXPECT_NEAR(plate.uncorrected, kt::sim::kRoomC, 5.0);
  EXPECT_NEAR(plate.corrected, kt::sim::kHeatedPanelC, 2.0);

  const BoxReading paint = ReadBox(temperatures, inside(kt::sim::kPaintedPatchRect),
                                   static_cast<float>(kt::sim::kPaintedPatchEmissivity), room);
  EXPECT_LT(paint.uncorrected, kt::sim::kHeatedPanelC - 1.0);
  EXPECT_NEAR(paint.corrected, kt::sim::kHeatedPanelC, 0.2);
}

}  // namespace
