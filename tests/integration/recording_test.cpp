// Recording through the C interface on a simulated camera: raw, video and
// temperature files, splitting into numbered files, changes of the request.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/radiometric_model.h"
#include "sim/sim_driver.h"
#include "support/avi_check.h"
#include "support/codes.h"
#include "support/ffprobe.h"
#include "support/host_window_probe.h"
#include "support/row_coded_scene.h"
#include "support/test_support.h"
#include "table_writer.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr uintmax_t kRawFrame = kWidth * kHeight * 2;
constexpr uintmax_t kTemperatureFrame = kWidth * kHeight * 4;

// value = (frame index % 50) * 300 + picture row (top row 0).
using kt::test::RowCodedScene;

// Picture row r shows 0.5 x r degrees Celsius: the top row is the coldest.
class RowGradientScene final : public kt::sim::FrameGenerator {
 public:
  void Render(const kt::sim::SceneState& state, uint16_t* pixels) const override {
    for (int row = 0; row < kHeight; ++row) {
      const uint16_t code = kt::sim::radiometric::RawCode(0.5 * row, state.internal_c);
      std::fill(pixels + row * kWidth, pixels + (row + 1) * kWidth, code);
    }
  }
};

using kt::test::AviWordAt;
using kt::test::ExpectFinishedAvi;
using kt::test::ExpectProbedCameraVideo;

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    camera_->SetScene(std::make_shared<RowCodedScene>());
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
  // Waits for `count` frames handled after a request just made: messages
  // already queued (a slow host falls behind) announce frames the capture
  // loop handled before it, and are dropped first.
  void FramesAfterTheRequest(int count) {
    window_.Drain();
    Frames(count);
  }
  // Counts the frame-ready messages that arrive within `timeout_ms` each:
  // after KolThermo_Close, every frame the loop published, and so recorded.
  int DrainFrameMessages(int timeout_ms = 200) {
    int seen = 0;
    kt::test::PostedMessage message;
    while (window_.Next(&message, timeout_ms)) {
      if (message.message == KOLTHERMO_MSG_FRAME_READY) ++seen;
    }
    return seen;
  }
  int CountOf(int code) {
    const std::vector<int> codes = Codes();
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
  }
  uintmax_t Size(const std::string& name) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(dir_.Path(name), ec);
    return ec ? 0 : size;
  }

  kt::sim::ScopedSimDriver sim_;
  std::shared_ptr<kt::sim::SimCamera> camera_;
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
  FramesAfterTheRequest(2);
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
  window_.Drain();  // frames of the previous preview must not count for this one
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(2);
  KolThermo_Close(id_);
  codes = Codes();
  EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), 9));
}

TEST_F(RecordingTest, RawAndTemperatureFilesHoldExactlyTheRecordedFrames) {
  for (const auto& [mode, name, frame] :
       {std::tuple{1, "exact.raw", kRawFrame}, std::tuple{3, "exact.bin", kTemperatureFrame}}) {
    ASSERT_EQ(1, Rec(name, mode));
    ASSERT_EQ(1, KolThermo_Preview(id_));
    Frames(10);
    KolThermo_Close(id_);
    // Every frame published while the request stood was written before it
    // was announced, so the messages count the frames in the file.
    const int frames = 10 + DrainFrameMessages();
    EXPECT_EQ(frames * frame, Size(name)) << name;
    EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
  }
}

TEST_F(RecordingTest, MirrorFlagStoresRawRowsBottomFirst) {
  KolThermo_SetParam(id_, 18, 1);
  ASSERT_EQ(1, Rec("mirror.raw", 1));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(3);
  KolThermo_Close(id_);
  const auto bytes = kt::test::ReadFileBytes(dir_.Path("mirror.raw"));
  ASSERT_GE(bytes.size(), 2 * kRawFrame);
  for (size_t frame = 0; frame < 2; ++frame) {
    uint16_t first = 0;
    uint16_t last = 0;
    std::memcpy(&first, bytes.data() + frame * kRawFrame, 2);
    std::memcpy(&last, bytes.data() + frame * kRawFrame + (kHeight - 1) * kWidth * 2, 2);
    EXPECT_EQ(kHeight - 1, first % 300) << "frame " << frame;  // the picture's bottom row
    EXPECT_EQ(first - (kHeight - 1), last) << "frame " << frame;
  }
}

TEST_F(RecordingTest, TemperatureRowsFollowTheMirrorFlag) {
  camera_->SetInternalTemperature(static_cast<float>(kt::sim::radiometric::kReferenceInternalC));
  camera_->SetScene(std::make_shared<RowGradientScene>());
  std::string error;
  const auto table = kt::table_writer::EncodeTable({kt::table_writer::Layout::k4000}, &error);
  ASSERT_FALSE(table.empty()) << error;
  kt::test::WriteFileBytes(dir_.Path("table.bin"), table);
  KolThermo_SetParam(id_, 10, 0);  // no NUC hold after the table loads
  const std::u16string table_path = dir_.Wide("table.bin");
  ASSERT_EQ(1,
            KolThermo_SetTableW(id_, reinterpret_cast<const KolThermoWChar*>(table_path.c_str())));

  for (int flag : {0, 1}) {
    const std::string name = "temps" + std::to_string(flag) + ".bin";
    KolThermo_SetParam(id_, 18, flag);
    ASSERT_EQ(1, Rec(name, 3));
    window_.Drain();  // frames of the previous preview must not count for this one
    ASSERT_EQ(1, KolThermo_Preview(id_));
    Frames(2);
    KolThermo_Close(id_);
    const auto bytes = kt::test::ReadFileBytes(dir_.Path(name));
    ASSERT_GE(bytes.size(), kTemperatureFrame) << name;
    float first_row = 0.0f;
    float last_row = 0.0f;
    std::memcpy(&first_row, bytes.data() + 7 * 4, 4);
    std::memcpy(&last_row, bytes.data() + (kHeight - 1) * kWidth * 4 + 7 * 4, 4);
    // The picture's top row reads 0 degrees, its bottom row 143.5.
    const float top = flag == 0 ? first_row : last_row;
    const float bottom = flag == 0 ? last_row : first_row;
    EXPECT_NEAR(0.0f, top, 2.0f) << name;
    EXPECT_NEAR(143.5f, bottom, 2.0f) << name;
  }
}

TEST_F(RecordingTest, VideoSplitFilesAndTheClosingFileReadBackWhole) {
  if (!kt::test::FfprobeAvailable()) {
    GTEST_SKIP() << "ffprobe not installed (scripts/install-deps.sh)";
  }
  KolThermo_SetParam(id_, 11, 1);  // 1 MiB: four frames a file
  ASSERT_EQ(1, Rec("split.avi", 2));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(10);
  EXPECT_EQ(1, KolThermo_GetParam(id_, 7));
  KolThermo_Close(id_);  // ends acquisition and with it the third file
  EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
  const int frames = 10 + DrainFrameMessages();
  const auto first = kt::test::ReadFileBytes(dir_.Path("split.avi"));
  const auto second = kt::test::ReadFileBytes(dir_.Path("split_1.avi"));
  const auto third = kt::test::ReadFileBytes(dir_.Path("split_2.avi"));
  EXPECT_EQ(4u, ExpectFinishedAvi(first, "split.avi"));
  EXPECT_EQ(4u, ExpectFinishedAvi(second, "split_1.avi"));
  const uint32_t rest = ExpectFinishedAvi(third, "split_2.avi");
  EXPECT_EQ(static_cast<uint32_t>(frames - 8), rest);
  ExpectProbedCameraVideo(dir_.Path("split.avi"), 4);
  ExpectProbedCameraVideo(dir_.Path("split_1.avi"), 4);
  ExpectProbedCameraVideo(dir_.Path("split_2.avi"), rest);
}

TEST_F(RecordingTest, ModeZeroFinishesTheVideoWithTheMeasuredRate) {
  ASSERT_EQ(1, Rec("rate.avi", 2));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(8);
  ASSERT_EQ(1, Rec("rate.avi", 0));
  FramesAfterTheRequest(2);
  // Closed at the next frame while acquisition goes on.
  EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
  const auto file = kt::test::ReadFileBytes(dir_.Path("rate.avi"));
  const uint32_t frames = ExpectFinishedAvi(file, "rate.avi");
  EXPECT_GE(frames, 8u);
  // Both timing fields come from one measured rate r (hundredths of a frame
  // per second): 10^8 / r and 10^9 / r. The camera delivers 30 frames a
  // second, so r cannot be far above 3000.
  const uint32_t microseconds = AviWordAt(file, 32);
  const uint32_t scale = AviWordAt(file, 128);
  ASSERT_GT(microseconds, 0u);
  const uint32_t rate = 100000000u / microseconds;
  bool consistent = false;
  for (uint32_t r = rate > 2 ? rate - 2 : 1; r <= rate + 2; ++r) {
    consistent = consistent || (100000000u / r == microseconds && 1000000000u / r == scale);
  }
  EXPECT_TRUE(consistent) << microseconds << " " << scale;
  EXPECT_LE(rate, 3300u);
  if (kt::test::FfprobeAvailable()) ExpectProbedCameraVideo(dir_.Path("rate.avi"), frames);
  const uintmax_t size = Size("rate.avi");
  Frames(2);
  EXPECT_EQ(size, Size("rate.avi"));
  KolThermo_Close(id_);
}

TEST_F(RecordingTest, UnknownModeRaisesCodeNineOnceEvenWithSplitSizeZero) {
  KolThermo_SetParam(id_, 11, 0);  // a split after every frame would retry the start
  ASSERT_EQ(1, Rec("five.bin", 5));
  EXPECT_EQ(5, KolThermo_GetParam(id_, 4));
  ASSERT_EQ(1, KolThermo_Preview(id_));
  Frames(6);
  EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
  KolThermo_Close(id_);
  EXPECT_EQ(1, CountOf(9));
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("five.bin")));
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("five_1.bin")));
}

}  // namespace
