// Measurement truth: a blackbody filling the simulated camera's view reads its
// true temperature through the generated version 4000 table, and reads it again
// after the camera's internal temperature has drifted and the library has
// recompensated the table.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "platform/clock.h"
#include "sim/frame_generator.h"
#include "sim/radiometric_model.h"
#include "sim/sim_driver.h"
#include "support/host_window_probe.h"
#include "support/test_support.h"
#include "support/test_time.h"
#include "table_writer.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
// The drift check runs every 30000 clock ms: a faster clock keeps this short.
constexpr double kClockScale = 100.0;

class BlackbodyTest : public ::testing::TestWithParam<double> {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    camera_->SetInternalTemperature(static_cast<float>(kt::sim::radiometric::kReferenceInternalC));
    camera_->SetScene(kt::sim::MakeUniformScene(GetParam()));

    std::string error;
    const auto bytes = kt::table_writer::EncodeTable({kt::table_writer::Layout::k4000}, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    kt::test::WriteFileBytes(dir_.Path("blackbody4000.bin"), bytes);

    id_ = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id_);
    const std::u16string path = dir_.Wide("blackbody4000.bin");
    ASSERT_EQ(1, KolThermo_SetTableW(id_, reinterpret_cast<const KolThermoWChar*>(path.c_str())));
  }
  void TearDown() override { KolThermo_Release(id_); }

  // Waits until a frame published after the current NUC hold is over and
  // returns the mean temperature of its central area.
  double SettledMean() {
    const uint32_t hold_ms = static_cast<uint32_t>(KolThermo_GetParam(id_, 10));
    const int nucs = camera_->nuc_requests();
    // Messages already queued may announce frames from before the sensor
    // warmed: on a slow run (TSan) such a backlog would be read with the
    // compensated table. Only frames announced from here on count.
    window_.Drain();
    uint32_t quiet_since = kt::platform::TimerTickMs();
    kt::test::PostedMessage message;
    std::vector<float> temperatures(kWidth * kHeight);
    const auto give_up = kt::test::DeadlineIn(std::chrono::seconds(20));
    while (std::chrono::steady_clock::now() < give_up) {
      if (!window_.Next(&message, 1000)) continue;
      if (message.message != KOLTHERMO_MSG_FRAME_READY) continue;
      if (camera_->nuc_requests() != nucs) return SettledMean();  // another hold began
      if (kt::platform::TimerTickMs() - quiet_since < hold_ms + 200) continue;
      const int frame = static_cast<int>(message.lparam);
      if (KolThermo_GetTemperature(id_, frame, temperatures.data(),
                                   static_cast<unsigned>(temperatures.size() * 4)) != 1) {
        continue;
      }
      double sum = 0.0;
      int count = 0;
      for (int row = 25; row < 264; ++row) {
        for (int col = 25; col < 360; ++col) {
          sum += temperatures[row * kWidth + col];
          ++count;
        }
      }
      return sum / count;
    }
    ADD_FAILURE() << "no settled frame";
    return 0.0;
  }

  kt::platform::ScaledClock clock_{kClockScale};
  kt::platform::ScopedClock scoped_clock_{clock_};
  kt::sim::ScopedSimDriver sim_;
  std::shared_ptr<kt::sim::SimCamera> camera_;
  kt::test::HostWindowProbe window_;
  kt::test::TempDir dir_;
  int id_ = 0;
};

TEST_P(BlackbodyTest, ReadsTrueBeforeAndAfterInternalDrift) {
  const double truth = GetParam();
  ASSERT_EQ(1, KolThermo_Preview(id_));
  // The first drift check records the internal temperature and starts a hold.
  const auto deadline = kt::test::DeadlineIn(std::chrono::seconds(10));
  while (camera_->nuc_requests() < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_NEAR(truth, SettledMean(), 0.10);

  // The sensor warms by 5 degrees: the raw codes move, the next drift check
  // recompensates the table and the reading comes back.
  const int nucs = camera_->nuc_requests();
  camera_->SetInternalTemperature(
      static_cast<float>(kt::sim::radiometric::kReferenceInternalC + 5.0));
  while (camera_->nuc_requests() == nucs &&
         std::chrono::steady_clock::now() < deadline + kt::test::Scaled(std::chrono::seconds(10))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_GT(camera_->nuc_requests(), nucs) << "no drift event";
  EXPECT_NEAR(truth, SettledMean(), 0.10);
  KolThermo_Close(id_);
}

INSTANTIATE_TEST_SUITE_P(SceneTemperatures, BlackbodyTest, ::testing::Values(37.0, -10.0, 120.0));

}  // namespace
