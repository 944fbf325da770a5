// Acquisition through the C interface against a simulated camera: preview,
// pause, single frames, the trigger, loss of the camera and frame fetch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/codes.h"
#include "support/host_window_probe.h"
#include "support/row_coded_scene.h"
#include "support/test_support.h"
#include "support/test_time.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr unsigned kRawBytes = kWidth * kHeight * 2;
constexpr unsigned kColourBytes = kWidth * 3 * kHeight;

using kt::test::RowCodedScene;

class AcquisitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    camera_->SetScene(std::make_shared<RowCodedScene>());
    id_ = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id_);
    Codes();
    Drain();
  }
  void TearDown() override { KolThermo_Release(id_); }

  std::vector<int> Codes() { return kt::test::DrainCodes(id_); }
  // Waits for the next frame-ready message; its frame ID, or 0.
  int NextFrame(int timeout_ms = 3000) { return window_.NextFrame(timeout_ms); }
  void Drain() { window_.Drain(); }

  kt::sim::ScopedSimDriver sim_;
  std::shared_ptr<kt::sim::SimCamera> camera_;
  kt::test::HostWindowProbe window_;
  int id_ = 0;
};

TEST_F(AcquisitionTest, PreviewPublishesFramesThatTheHostCanFetch) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  EXPECT_EQ(1, KolThermo_GetParam(id_, 5));
  ASSERT_NE(0, NextFrame());
  const int frame = kt::test::HoldNewestFrame(id_);
  std::vector<uint16_t> raw(kWidth * kHeight);
  EXPECT_EQ(1, KolThermo_GetRaw(id_, frame, raw.data(), kRawBytes));
  std::vector<uint8_t> colour(kColourBytes);
  EXPECT_EQ(1, KolThermo_GetColor(id_, frame, colour.data(), kColourBytes));
  // Starting preview applies parameter 16, which is refused: code 10, once.
  EXPECT_EQ(std::vector<int>{10}, Codes());
  // A second start does nothing.
  EXPECT_EQ(1, KolThermo_Preview(id_));
  EXPECT_TRUE(Codes().empty());
  EXPECT_EQ(1, KolThermo_Close(id_));
  EXPECT_EQ(0, KolThermo_GetParam(id_, 5));
}

TEST_F(AcquisitionTest, PauseStopsPublishingAndStartResumes) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  const int paused_at = kt::test::HoldNewestFrame(id_);
  Drain();
  // While paused nothing is published and the newest ID stays put.
  kt::test::PostedMessage message;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(paused_at, KolThermo_GetNewID(id_));
  while (window_.Next(&message, 0))
    EXPECT_NE(static_cast<unsigned>(KOLTHERMO_MSG_FRAME_READY), message.message);
  KolThermo_Start(id_);
  for (int i = 0; i < 5; ++i) {
    const int frame = NextFrame();
    ASSERT_NE(0, frame);
    EXPECT_NE(paused_at, frame);
  }
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, LoopIntervalLimitsThePublishedRate) {
  camera_->SetFrameRate(200.0);
  KolThermo_SetParam(id_, 9, 100);
  ASSERT_EQ(1, KolThermo_Preview(id_));
  // Once a rate has been measured (1.5 s of clock time on the tests' fast
  // clock, longer under valgrind), at most ~10 frames per second get published.
  const auto deadline = kt::test::DeadlineIn(std::chrono::seconds(30));
  while (KolThermo_GetParam(id_, 3) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_LE(KolThermo_GetParam(id_, 3), 1000);
  EXPECT_GT(KolThermo_GetParam(id_, 3), 0);
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, StoppingCutsTheLoopIntervalShort) {
  // The largest interval makes the loop sleep some 24 days before each frame;
  // Close and Release must not wait that out (a wait would hang this test).
  KolThermo_SetParam(id_, 9, INT32_MAX);
  ASSERT_EQ(1, KolThermo_Preview(id_));
  EXPECT_EQ(1, KolThermo_Close(id_));
  ASSERT_EQ(1, KolThermo_Preview(id_));  // TearDown's Release stops this one
}

TEST_F(AcquisitionTest, FetchedFramesAreWholeAndInTheChosenRowOrder) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  const int frame = kt::test::HoldNewestFrame(id_);
  std::vector<uint16_t> bottom_up(kWidth * kHeight);
  std::vector<uint16_t> top_down(kWidth * kHeight);
  ASSERT_EQ(1, KolThermo_GetRaw(id_, frame, bottom_up.data(), kRawBytes));
  KolThermo_SetParam(id_, 17, 1);
  ASSERT_EQ(1, KolThermo_GetRaw(id_, frame, top_down.data(), kRawBytes));
  const int base = top_down[0];  // the first row the camera sent: picture row 0
  EXPECT_EQ(0, base % 300);
  for (int row = 0; row < kHeight; ++row) {
    EXPECT_EQ(base + row, top_down[row * kWidth + 5]) << row;
    // Parameter 17 at 0 starts with the last row the camera sent.
    EXPECT_EQ(base + kHeight - 1 - row, bottom_up[row * kWidth + 7]) << row;
  }
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, FetchArgumentsAreChecked) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  const int frame = kt::test::HoldNewestFrame(id_);
  Codes();
  std::vector<uint8_t> buffer(kColourBytes + 16);
  EXPECT_EQ(0,
            KolThermo_GetRaw(id_, 0, reinterpret_cast<unsigned short*>(buffer.data()), kRawBytes));
  EXPECT_EQ(0, KolThermo_GetColor(id_, frame + 1, buffer.data(), kColourBytes));
  EXPECT_EQ((std::vector<int>{5, 5}), Codes());
  EXPECT_EQ(0, KolThermo_GetRaw(id_, frame, reinterpret_cast<unsigned short*>(buffer.data()),
                                kRawBytes - 1));
  EXPECT_EQ(0, KolThermo_GetColor(id_, frame, buffer.data(), kColourBytes - 1));
  EXPECT_EQ(0, KolThermo_GetColor(id_, frame, nullptr, kColourBytes));
  EXPECT_EQ((std::vector<int>{6, 6, 6}), Codes());
  EXPECT_EQ(1, KolThermo_GetColor(id_, frame, buffer.data(), kColourBytes));
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, TemperaturesThroughADirectTable) {
  // A version 1000 table whose point m says m degrees: temperatures equal codes.
  std::vector<uint8_t> table(24 + 4 + 8 * 16384);
  std::memcpy(table.data(), "KOLVEN THERMO TABLE 1000", 24);
  const int32_t count = 16384;
  std::memcpy(table.data() + 24, &count, 4);
  for (int32_t m = 0; m < count; ++m) {
    const float temperature = static_cast<float>(m);
    std::memcpy(table.data() + 28 + 8 * m, &m, 4);
    std::memcpy(table.data() + 32 + 8 * m, &temperature, 4);
  }
  kt::test::TempDir dir;
  kt::test::WriteFileBytes(dir.Path("direct.bin"), table);
  const std::u16string path = dir.Wide("direct.bin");
  ASSERT_EQ(1, KolThermo_SetTableW(id_, reinterpret_cast<const KolThermoWChar*>(path.c_str())));
  KolThermo_SetParam(id_, 10, 0);  // no NUC hold
  const int frame = KolThermo_OneShot(id_);
  ASSERT_NE(0, frame);
  Codes();

  constexpr unsigned kBytes = kWidth * kHeight * 4;
  std::vector<float> bottom_up(kWidth * kHeight);
  std::vector<float> top_down(kWidth * kHeight);
  EXPECT_EQ(0, KolThermo_GetTemperature(id_, frame, bottom_up.data(), kBytes - 1));
  EXPECT_EQ(0, KolThermo_GetTemperature(id_, frame, nullptr, kBytes));
  EXPECT_EQ((std::vector<int>{6, 6}), Codes());
  ASSERT_EQ(1, KolThermo_GetTemperature(id_, frame, bottom_up.data(), kBytes));
  KolThermo_SetParam(id_, 17, 1);
  ASSERT_EQ(1, KolThermo_GetTemperature(id_, frame, top_down.data(), kBytes));
  const float base = top_down[0];  // picture row 0 first
  for (int row = 0; row < kHeight; ++row) {
    EXPECT_EQ(base + static_cast<float>(row), top_down[row * kWidth + 3]) << row;
    EXPECT_EQ(base + static_cast<float>(kHeight - 1 - row), bottom_up[row * kWidth + 3]) << row;
  }
}

TEST_F(AcquisitionTest, AFrameIdIsGoneOneRingTurnLater) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  const int first = NextFrame();
  ASSERT_NE(0, first);
  for (int i = 0; i < 31; ++i) ASSERT_NE(0, NextFrame());
  Codes();
  std::vector<uint8_t> colour(kColourBytes);
  EXPECT_EQ(0, KolThermo_GetColor(id_, first, colour.data(), kColourBytes));
  EXPECT_EQ(std::vector<int>{5}, Codes());
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, NothingIsPublishedDuringANucHold) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  // 2000 clock ms of hold: 100 ms of real time at the tests' 20x clock.
  KolThermo_SetParam(id_, 10, 2000);
  const int before = camera_->nuc_requests();
  EXPECT_EQ(1, KolThermo_Nuc(id_));
  EXPECT_EQ(before + 1, camera_->nuc_requests());
  const auto nuc_at = std::chrono::steady_clock::now();
  // A frame that passed its hold check just before the request may still be
  // announced: let it through (30 ms lies well inside the 100 ms hold, on the
  // library's clock, so it is not scaled), then look for the next one. Its
  // message may even come after the drain: skip that frame.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  Drain();
  const int held = KolThermo_GetNewID(id_);
  int next = NextFrame();
  while (next != 0 && next == held) next = NextFrame();
  ASSERT_NE(0, next);
  EXPECT_GE(std::chrono::steady_clock::now() - nuc_at, std::chrono::milliseconds(90));
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, OneShot) {
  const int frame = KolThermo_OneShot(id_);
  ASSERT_NE(0, frame);
  EXPECT_EQ(frame, KolThermo_GetNewID(id_));
  std::vector<uint16_t> raw(kWidth * kHeight);
  EXPECT_EQ(1, KolThermo_GetRaw(id_, frame, raw.data(), kRawBytes));
  EXPECT_TRUE(Codes().empty());
  kt::test::PostedMessage message;
  EXPECT_FALSE(window_.Next(&message, 20));  // single frames are not announced
  // Refused silently while previewing.
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Codes();
  EXPECT_EQ(0, KolThermo_OneShot(id_));
  EXPECT_EQ(0, KolThermo_Trigger(id_));
  EXPECT_TRUE(Codes().empty());
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, TriggerWaitsForAFallingEdge) {
  camera_->TriggerPulse();
  const int frame = KolThermo_Trigger(id_);
  ASSERT_NE(0, frame);
  EXPECT_EQ(frame, KolThermo_GetNewID(id_));
  EXPECT_EQ(std::vector<int>{10}, Codes());
}

TEST_F(AcquisitionTest, TriggerGivesUpAfterThreeSeconds) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, KolThermo_Trigger(id_));
  // 3000 ms of clock time; at the tests' 20x clock about 150 ms.
  EXPECT_LT(std::chrono::steady_clock::now() - start, kt::test::Scaled(std::chrono::seconds(10)));
  EXPECT_EQ((std::vector<int>{3, 10}), Codes());
}

TEST_F(AcquisitionTest, LosingTheCameraEndsPreviewUntilClose) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  Codes();
  sim_.driver().Unplug(0);
  // Code 4 arrives at the latest 6000 clock ms after the last frame.
  kt::test::PostedMessage message;
  bool lost = false;
  while (!lost && window_.Next(&message, 5000)) {
    lost = message.message == KOLTHERMO_MSG_EVENT && message.lparam == KOLTHERMO_CODE_CAMERA_LOST;
  }
  ASSERT_TRUE(lost);
  EXPECT_EQ(1, KolThermo_Preview(id_));  // still "previewing" until closed
  EXPECT_EQ(0, KolThermo_OneShot(id_));
  EXPECT_EQ(1, KolThermo_GetParam(id_, 5));
  EXPECT_EQ(1, KolThermo_Close(id_));
  EXPECT_EQ(0, KolThermo_GetParam(id_, 5));
  // Plugged in again, the same instance acquires again.
  sim_.driver().Replug(0);
  Codes();
  ASSERT_EQ(1, KolThermo_Preview(id_));
  EXPECT_NE(0, NextFrame());
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, PreviewWithoutACameraFails) {
  // Cameras are found when an instance is built: one built after the camera
  // went away finds none and refuses to start.
  sim_.driver().Detach(0);
  const int other = KolThermo_Initialize(nullptr);
  ASSERT_NE(0, other);
  while (KolThermo_GetLastError(other) != 0) {
  }
  EXPECT_EQ(0, KolThermo_Preview(other));
  EXPECT_EQ(2, KolThermo_GetLastError(other));
  EXPECT_EQ(0, KolThermo_GetLastError(other));
  EXPECT_EQ(0, KolThermo_GetParam(other, 5));
  EXPECT_EQ(0, KolThermo_OneShot(other));
  EXPECT_EQ(2, KolThermo_GetLastError(other));
  KolThermo_Release(other);
}

TEST_F(AcquisitionTest, ACameraGoneSinceTheInstanceWasBuiltIsReportedLost) {
  sim_.driver().Detach(0);
  EXPECT_EQ(1, KolThermo_Preview(id_));
  kt::test::PostedMessage message;
  bool lost = false;
  while (!lost && window_.Next(&message, 5000)) {
    lost = message.message == KOLTHERMO_MSG_EVENT && message.lparam == KOLTHERMO_CODE_CAMERA_LOST;
  }
  EXPECT_TRUE(lost);
  KolThermo_Close(id_);
}

TEST_F(AcquisitionTest, HostThreadsNeverSeeATornFrame) {
  camera_->SetFrameRate(2000.0);
  KolThermo_SetParam(id_, 9, 0);
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  std::atomic<int> torn{0};
  std::atomic<int> fetched{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      std::vector<uint16_t> raw(kWidth * kHeight);
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
      while (std::chrono::steady_clock::now() < end) {
        if (KolThermo_GetRaw(id_, KolThermo_GetNewID(id_), raw.data(), kRawBytes) != 1) continue;
        ++fetched;
        const int base = raw[0] - (kHeight - 1);  // stored row 0 is picture row 287
        for (int row = 0; row < kHeight; ++row) {
          if (raw[row * kWidth] != base + kHeight - 1 - row ||
              raw[row * kWidth + kWidth - 1] != base + kHeight - 1 - row) {
            ++torn;
            break;
          }
        }
      }
    });
  }
  for (auto& reader : readers) reader.join();
  KolThermo_Close(id_);
  EXPECT_GT(fetched.load(), 0);
  EXPECT_EQ(0, torn.load());
}

}  // namespace
