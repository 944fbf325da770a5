// Recording through the C interface on a simulated camera: raw, video and
// temperature files, splitting into numbered files, changes of the request.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/codes.h"
#include "support/host_window_probe.h"
#include "support/test_support.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr uintmax_t kRawFrame = kWidth * kHeight * 2;
constexpr uintmax_t kTemperatureFrame = kWidth * kHeight * 4;

// value = (frame index % 50) * 300 + picture row (top row 0).
class RowCodedScene final : public kt::sim::FrameGenerator {
 public:
  void Render(const kt::sim::SceneState& state, uint16_t* pixels) const override {
    const int base = static_cast<int>(state.frame_index % 50) * 300;
    for (int row = 0; row < kHeight; ++row) {
      for (int col = 0; col < kWidth; ++col) {
        pixels[row * kWidth + col] = static_cast<uint16_t>(base + row);
      }
    }
  }
};

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.driver().Attach(0)->SetScene(std::make_shared<RowCodedScene>());
    id_ = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id_);
    Codes();
  }
  void TearDown() override { KolThermo_Release(id_); }

  std::vector<int> Codes() { return kt::test::DrainCodes(id_); }
  int Rec(const std::string& name, int mode) {
    const std::u16string path = dir_.Wide(name);
    return KolThermo_RecW(id_, reinterpret_cast<const KolThermoWChar*>(path.c_str()), mode);
  }
  // Waits for `count` frame-ready messages.
  void Frames(int count) {
    kt::test::PostedMessage message;
    for (int seen = 0; seen < count && window_.Next(&message, 5000);) {
      if (message.message == KOLTHERMO_MSG_FRAME_READY) ++seen;
    }
  }
  uintmax_t Size(const std::string& name) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(dir_.Path(name), ec);
    return ec ? 0 : size;
  }

  kt::sim::ScopedSimDriver sim_;
  kt::test::HostWindowProbe window_;
  kt::test::TempDir dir_;
  int id_ = 0;
};

TEST_F(RecordingTest, RawRecordingHoldsWholeFramesTopRowFirst) {
  ASSERT_EQ(1, Rec("frames.raw", 1));
  EXPECT_EQ(1, KolThermo_GetParam(id_, 4));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(12);
  EXPECT_EQ(1, KolThermo_GetParam(id_, 7));
  KolThermo_Close(id_);
  EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
  const uintmax_t size = Size("frames.raw");
  ASSERT_GE(size, 10 * kRawFrame);
  EXPECT_EQ(0u, size % kRawFrame);
  // With parameter 18 at 0 the file's first row is the picture's top row.
  const auto bytes = kt::test::ReadFileBytes(dir_.Path("frames.raw"));
  uint16_t first = 0;
  uint16_t last = 0;
  std::memcpy(&first, bytes.data(), 2);
  std::memcpy(&last, bytes.data() + (kHeight - 1) * kWidth * 2, 2);
  EXPECT_EQ(0, first % 300);
  EXPECT_EQ(first + kHeight - 1, last);
}

TEST_F(RecordingTest, TemperatureRecordingHoldsWholeFrames) {
  ASSERT_EQ(1, Rec("temps.bin", 3));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(5);
  KolThermo_Close(id_);
  const uintmax_t size = Size("temps.bin");
  ASSERT_GE(size, 3 * kTemperatureFrame);
  EXPECT_EQ(0u, size % kTemperatureFrame);
  // No table loaded: every pixel is without a temperature.
  const auto bytes = kt::test::ReadFileBytes(dir_.Path("temps.bin"));
  float value = 0.0f;
  std::memcpy(&value, bytes.data(), 4);
  EXPECT_EQ(-999.0f, value);
}

TEST_F(RecordingTest, SplitSizeZeroGivesOneFramePerNumberedFile) {
  KolThermo_SetParam(id_, 11, 0);
  ASSERT_EQ(1, Rec("split.raw", 1));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(6);
  KolThermo_Close(id_);
  EXPECT_EQ(kRawFrame, Size("split.raw"));
  EXPECT_EQ(kRawFrame, Size("split_1.raw"));
  EXPECT_EQ(kRawFrame, Size("split_2.raw"));
  EXPECT_EQ(kRawFrame, Size("split_3.raw"));
}

TEST_F(RecordingTest, VideoSplitsAtTheSplitSizeAndModeZeroClosesIt) {
  KolThermo_SetParam(id_, 11, 1);  // 1 MiB: a new file after every 4th frame
  ASSERT_EQ(1, Rec("video.avi", 2));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(10);
  ASSERT_EQ(1, Rec("video.avi", 0));
  Frames(2);
  for (const char* name : {"video.avi", "video_1.avi"}) {
    const auto bytes = kt::test::ReadFileBytes(dir_.Path(name));
    ASSERT_GT(bytes.size(), 232u) << name;
    EXPECT_EQ(0, std::memcmp(bytes.data(), "RIFF", 4));
    uint32_t riff_size = 0;
    uint32_t frames = 0;
    std::memcpy(&riff_size, bytes.data() + 4, 4);
    std::memcpy(&frames, bytes.data() + 48, 4);
    EXPECT_EQ(bytes.size() - 8, riff_size) << name;
    EXPECT_EQ(4u, frames) << name;  // 4 x 331784 bytes reach 1 MiB
  }
  // The request is cleared: nothing more is written.
  const uintmax_t before = Size("video_2.avi");
  Frames(3);
  EXPECT_EQ(before, Size("video_2.avi"));
  KolThermo_Close(id_);
}

TEST_F(RecordingTest, BadRequests) {
  EXPECT_EQ(0, KolThermo_RecW(id_, nullptr, 1));
  EXPECT_EQ(0, KolThermo_RecA(id_, nullptr, 1));
  const std::string long_name(300, 'a');
  EXPECT_EQ(0, KolThermo_RecA(id_, long_name.c_str(), 1));
  EXPECT_EQ((std::vector<int>{5, 5, 5}), Codes());
  EXPECT_EQ(0, KolThermo_GetParam(id_, 4));  // the request is unchanged
  // An unknown mode is accepted and fails when the loop tries to start it.
  ASSERT_EQ(1, Rec("x.bin", 5));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(2);
  KolThermo_Close(id_);
  std::vector<int> codes = Codes();
  EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), 9));
  // A path in a missing directory fails the same way.
  ASSERT_EQ(1, Rec("missing/dir/x.raw", 1));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(2);
  KolThermo_Close(id_);
  codes = Codes();
  EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), 9));
}

}  // namespace
