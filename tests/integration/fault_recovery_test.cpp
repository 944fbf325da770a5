// Faults at every point of an instance's work: the camera unplugged in the
// middle of a command exchange, a stream, a single-frame grab or a trigger
// wait; short, failed and stalled transfers; failing register reads; files
// that vanish or are cut short. Each case must end with its event code and no
// hang, and afterwards the same instance must acquire whole frames again after
// KolThermo_Close and KolThermo_Preview.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/sim_camera.h"
#include "sim/sim_driver.h"
#include "support/codes.h"
#include "support/file_size_limit.h"
#include "support/host_window_probe.h"
#include "support/row_coded_scene.h"
#include "support/test_support.h"
#include "support/test_time.h"
#include "support/wide_text.h"
#include "table_writer.h"

namespace {

using kt::test::RowCodedScene;

constexpr unsigned kRawBytes = RowCodedScene::kWidth * RowCodedScene::kHeight * 2;

using kt::test::Wide;

class FaultRecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    camera_->SetScene(std::make_shared<RowCodedScene>());
    id_ = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id_);
    kt::test::DrainCodes(id_);
  }
  void TearDown() override { KolThermo_Release(id_); }

  int NextFrame(int timeout_ms = 3000) { return window_.NextFrame(timeout_ms); }
  bool AwaitCode(int code) { return window_.AwaitEvent(code); }
  // Every code raised since the last call is one of `allowed`.
  void ExpectCodesWithin(std::initializer_list<int> allowed, const std::string& where) {
    for (const int code : kt::test::DrainCodes(id_)) {
      EXPECT_NE(std::find(allowed.begin(), allowed.end(), code), allowed.end())
          << where << ": unexpected code " << code;
    }
  }
  // The camera back and healthy: the same instance previews whole frames.
  void ExpectRecovers(const std::string& where) {
    camera_->ShortFrames(0);
    camera_->FailTransfers(0);
    camera_->StallFrames(false);
    camera_->FailRegisterReads(false);
    sim_.driver().Replug(0);
    KolThermo_Close(id_);
    // Frame-ready messages of the earlier preview may still be queued; the
    // frame waited for below must be one of the new preview.
    window_.Drain();
    ASSERT_EQ(1, KolThermo_Preview(id_)) << where;
    KolThermo_Start(id_);
    ASSERT_NE(0, NextFrame()) << where << ": no frame after recovery";
    std::vector<uint16_t> raw(kRawBytes / 2);
    const int frame = kt::test::HoldNewestFrame(id_);
    ASSERT_EQ(1, KolThermo_GetRaw(id_, frame, raw.data(), kRawBytes)) << where;
    EXPECT_TRUE(RowCodedScene::IsWhole(raw.data())) << where;
    KolThermo_Start(id_);
    KolThermo_Close(id_);
    kt::test::DrainCodes(id_);
    window_.Drain();
  }
  kt::sim::ScopedSimDriver sim_;
  std::shared_ptr<kt::sim::SimCamera> camera_;
  kt::test::HostWindowProbe window_;
  kt::test::TempDir dir_;
  int id_ = 0;
};

TEST_F(FaultRecoveryTest, UnpluggedDuringTheStartCommandExchanges) {
  // The camera goes away after 0, 1, 2, ... further requests: somewhere inside
  // opening, window set-up, transfer mode, sensor start or the first frames.
  for (int requests = 0; requests <= 16; ++requests) {
    const std::string where = "unplugged after " + std::to_string(requests) + " requests";
    camera_->UnplugAfterRequests(requests);
    KolThermo_Preview(id_);  // may succeed and lose the camera later, or fail now
    if (KolThermo_GetParam(id_, 5) == 1) {
      // Either frames keep coming (the fault came after start-up's requests
      // and the stream needs none) or the camera is reported lost.
      NextFrame(300);
    }
    ExpectCodesWithin({2, 4, 8, 10}, where);
    ExpectRecovers(where);
  }
}

TEST_F(FaultRecoveryTest, UnpluggedDuringAStream) {
  for (const int delay_ms : {0, 5, 20, 60}) {
    const std::string where = "unplugged " + std::to_string(delay_ms) + " ms into the stream";
    ASSERT_EQ(1, KolThermo_Preview(id_));
    ASSERT_NE(0, NextFrame());
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    sim_.driver().Unplug(0);
    EXPECT_TRUE(AwaitCode(KOLTHERMO_CODE_CAMERA_LOST)) << where;
    ExpectCodesWithin({3, 4, 8, 10}, where);
    ExpectRecovers(where);
  }
}

TEST_F(FaultRecoveryTest, UnpluggedDuringASingleFrameGrab) {
  for (int requests = 0; requests <= 10; ++requests) {
    const std::string where = "grab unplugged after " + std::to_string(requests) + " requests";
    camera_->UnplugAfterRequests(requests);
    KolThermo_OneShot(id_);  // a frame or 0, but an answer
    ExpectCodesWithin({2, 3, 4, 8}, where);
    ExpectRecovers(where);
  }
}

TEST_F(FaultRecoveryTest, UnpluggedDuringATriggerWait) {
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    sim_.driver().Unplug(0);
  });
  // Reads fail once the camera is gone and count as "no edge": the wait ends
  // at its limit with code 3.
  EXPECT_EQ(0, KolThermo_Trigger(id_));
  unplug.join();
  ExpectCodesWithin({3, 8, 10}, "trigger");
  ExpectRecovers("trigger");
}

TEST_F(FaultRecoveryTest, OneShortTransferIsSkippedASecondLosesTheCamera) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  kt::test::DrainCodes(id_);
  camera_->ShortFrames(1);
  for (int i = 0; i < 10; ++i) ASSERT_NE(0, NextFrame()) << i;
  EXPECT_TRUE(kt::test::DrainCodes(id_).empty());
  std::vector<uint16_t> raw(kRawBytes / 2);
  const int frame = kt::test::HoldNewestFrame(id_);
  ASSERT_EQ(1, KolThermo_GetRaw(id_, frame, raw.data(), kRawBytes));
  EXPECT_TRUE(RowCodedScene::IsWhole(raw.data()));
  KolThermo_Start(id_);
  // A second short frame in the same stream means the transfer cannot be
  // trusted any more.
  camera_->ShortFrames(1);
  EXPECT_TRUE(AwaitCode(KOLTHERMO_CODE_CAMERA_LOST));
  ExpectCodesWithin({3, 4}, "second short transfer");
  ExpectRecovers("short transfers");
}

TEST_F(FaultRecoveryTest, FailedTransfersLoseTheCameraUntilPreviewedAgain) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  camera_->FailTransfers(3);
  EXPECT_TRUE(AwaitCode(KOLTHERMO_CODE_CAMERA_LOST));
  ExpectCodesWithin({3, 4, 10}, "failed transfers");
  ExpectRecovers("failed transfers");
}

TEST_F(FaultRecoveryTest, StalledFramesEndInCameraLost) {
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  camera_->StallFrames(true);
  EXPECT_TRUE(AwaitCode(KOLTHERMO_CODE_CAMERA_LOST));
  ExpectCodesWithin({3, 4, 10}, "stall");
  ExpectRecovers("stall");
}

TEST_F(FaultRecoveryTest, FailingRegisterReads) {
  camera_->FailRegisterReads(true);
  int status = 1;
  EXPECT_EQ(0.0f, KolThermo_GetInternalTemperature(id_, &status));
  const std::vector<int> codes = kt::test::DrainCodes(id_);
  EXPECT_EQ(std::vector<int>{KOLTHERMO_CODE_DEVICE_CONTROL_FAILED}, codes);
  ExpectRecovers("register reads");
  EXPECT_NE(0.0f, KolThermo_GetInternalTemperature(id_, &status));
}

TEST_F(FaultRecoveryTest, FilesThatVanishOrAreCutShort) {
  std::string error;
  const auto table = kt::table_writer::EncodeTable({kt::table_writer::Layout::k4000}, &error);
  ASSERT_FALSE(table.empty()) << error;
  // A table cut short is refused and the instance goes on as before.
  kt::test::WriteFileBytes(dir_.Path("cut.bin"),
                           std::vector<uint8_t>(table.begin(), table.begin() + 100));
  EXPECT_EQ(0, KolThermo_SetTableW(id_, Wide(dir_.Wide("cut.bin"))));
  // A table that has gone away is refused the same way.
  kt::test::WriteFileBytes(dir_.Path("gone.bin"), table);
  std::filesystem::remove(dir_.Path("gone.bin"));
  EXPECT_EQ(0, KolThermo_SetTableW(id_, Wide(dir_.Wide("gone.bin"))));
  // A name that is a folder cannot be read as a table (file permissions would
  // not do here: the suite may run as root, who reads every file).
  std::filesystem::create_directory(dir_.Path("table.dir"));
  EXPECT_EQ(0, KolThermo_SetTableW(id_, Wide(dir_.Wide("table.dir"))));
  EXPECT_EQ((std::vector<int>{9, 9, 9}), kt::test::DrainCodes(id_));

  // Saving and recording into a folder that has been removed.
  const std::filesystem::path folder = dir_.Path("folder");
  std::filesystem::create_directory(folder);
  const std::u16string still = dir_.Wide("folder/still.bmp");
  const std::u16string video = dir_.Wide("folder/video.avi");
  KolThermo_SetParam(id_, 10, 0);
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  std::filesystem::remove_all(folder);
  kt::test::DrainCodes(id_);
  EXPECT_EQ(0, KolThermo_SaveW(id_, Wide(still), 0));
  EXPECT_EQ(0, KolThermo_SaveW(id_, Wide(dir_.Wide("folder/still.png")), 5));
  // Nor can a still replace a folder of the same name, in any writing path.
  EXPECT_EQ(0, KolThermo_SaveW(id_, Wide(dir_.Wide("table.dir")), 0));
  EXPECT_EQ(0, KolThermo_SaveW(id_, Wide(dir_.Wide("table.dir")), 2));
  EXPECT_EQ(0, KolThermo_SaveW(id_, Wide(dir_.Wide("table.dir")), 6));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.Path("table.dir")));
  EXPECT_EQ((std::vector<int>{9, 9, 9, 9, 9}), kt::test::DrainCodes(id_));
  ASSERT_EQ(1, KolThermo_RecW(id_, Wide(video), 2));
  EXPECT_TRUE(AwaitCode(KOLTHERMO_CODE_FILE_OR_TABLE_FAILED));
  EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
  KolThermo_Close(id_);
  kt::test::DrainCodes(id_);
  window_.Drain();
  ExpectRecovers("files");
}

#ifndef _WIN32
// Every still format on a disk with room for 64 bytes: none fits, every save
// ends with 0 and code 9, and the instance saves normally once space returns.
TEST_F(FaultRecoveryTest, EveryStillFormatOnAFullDisk) {
  std::string error;
  const auto table = kt::table_writer::EncodeTable({kt::table_writer::Layout::k4000}, &error);
  ASSERT_FALSE(table.empty()) << error;
  kt::test::WriteFileBytes(dir_.Path("table.bin"), table);
  KolThermo_SetParam(id_, 10, 0);
  ASSERT_EQ(1, KolThermo_SetTableW(id_, Wide(dir_.Wide("table.bin"))));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_NE(0, NextFrame());
  KolThermo_Pause(id_);
  kt::test::DrainCodes(id_);
  {
    kt::test::FileSizeLimit disk(64);
    for (int format = 0; format <= 13; ++format) {
      const std::u16string path = dir_.Wide("full" + std::to_string(format));
      EXPECT_EQ(0, KolThermo_SaveW(id_, Wide(path), format)) << format;
      EXPECT_EQ(std::vector<int>{KOLTHERMO_CODE_FILE_OR_TABLE_FAILED}, kt::test::DrainCodes(id_))
          << format;
    }
  }
  for (int format = 0; format <= 13; ++format) {
    const std::u16string path = dir_.Wide("room" + std::to_string(format));
    EXPECT_EQ(1, KolThermo_SaveW(id_, Wide(path), format)) << format;
  }
  EXPECT_TRUE(kt::test::DrainCodes(id_).empty());
  ExpectRecovers("full disk stills");
}
#endif

}  // namespace
