// Recording onto a disk that fills up, through the C interface on a simulated
// camera: a per-process file size limit makes the file system refuse writes
// at a chosen byte. Each mode must raise code 9 once, leave a file that holds
// exactly its complete frames, end the recording, and record again when the
// host asks after space has returned.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/avi_check.h"
#include "support/codes.h"
#include "support/ffprobe.h"
#include "support/file_size_limit.h"
#include "support/host_window_probe.h"
#include "support/test_support.h"

// A full disk is made with a per-process file size limit (RLIMIT_FSIZE), which
// Windows does not have: there these tests are not built.
#ifndef _WIN32

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr uint64_t kRawFrame = kWidth * kHeight * 2;
constexpr uint64_t kTemperatureFrame = kWidth * kHeight * 4;
constexpr uint64_t kVideoChunk = kt::test::kCameraVideoChunk;

// value = (frame index % 50) * 300 + picture row (top row 0).
class RowCodedScene final : public kt::sim::FrameGenerator {
 public:
  void Render(const kt::sim::SceneState& state, uint16_t* pixels) const override {
    const int base = static_cast<int>(state.frame_index % 50) * 300;
    for (int row = 0; row < kHeight; ++row) {
      std::fill(pixels + row * kWidth, pixels + (row + 1) * kWidth,
                static_cast<uint16_t>(base + row));
    }
  }
};

struct FullDiskCase {
  int mode;
  const char* name;       // the requested path
  const char* next_name;  // where asking again continues
  uint64_t limit;         // bytes any file may grow to
  uint64_t kept_bytes;    // what the full file must hold afterwards
};

void PrintTo(const FullDiskCase& c, std::ostream* out) { *out << "mode " << c.mode; }

class RecordingFullDiskTest : public ::testing::TestWithParam<FullDiskCase> {
 protected:
  void SetUp() override {
    sim_.driver().Attach(0)->SetScene(std::make_shared<RowCodedScene>());
    id_ = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id_);
    kt::test::DrainCodes(id_);
  }
  void TearDown() override {
    if (id_ != 0) KolThermo_Release(id_);
  }

  int Rec(const std::string& name, int mode) {
    const std::u16string path = dir_.Wide(name);
    return KolThermo_RecW(id_, reinterpret_cast<const KolThermoWChar*>(path.c_str()), mode);
  }
  // Waits for `count` frame-ready messages. When they stop coming, the
  // failure says how far it got, whether the instance still counts as
  // previewing and recording, and which codes it raised meanwhile (a lost
  // camera, code 4, ends the frames until the host previews again).
  ::testing::AssertionResult Frames(int count) {
    kt::test::PostedMessage message;
    for (int seen = 0; seen < count;) {
      if (!window_.Next(&message, 5000)) {
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "frame messages stopped after " << seen << " of " << count
                << "; previewing (parameter 5) " << KolThermo_GetParam(id_, 5)
                << ", recording (parameter 7) " << KolThermo_GetParam(id_, 7) << ", codes:";
        for (const int code : kt::test::DrainCodes(id_)) failure << " " << code;
        return failure;
      }
      if (message.message == KOLTHERMO_MSG_FRAME_READY) ++seen;
    }
    return ::testing::AssertionSuccess();
  }
  // Lets frames stream until parameter 7 reads `recording` (0 ended, 1 on),
  // then forgets the messages already queued: a slow host (valgrind) finds a
  // backlog there, and frames counted afterwards must be ones that came
  // after the change.
  ::testing::AssertionResult WaitForRecording(int recording) {
    for (int frame = 0; frame < 500; ++frame) {
      if (KolThermo_GetParam(id_, 7) == recording) {
        window_.Drain();
        return ::testing::AssertionSuccess();
      }
      ::testing::AssertionResult next = Frames(1);
      if (!next) return next;
    }
    return ::testing::AssertionFailure()
           << "parameter 7 never read " << recording << " in 500 frames";
  }
  int CodeNines() {
    const std::vector<int> codes = kt::test::DrainCodes(id_);
    return static_cast<int>(std::count(codes.begin(), codes.end(), 9));
  }

  kt::sim::ScopedSimDriver sim_;
  kt::test::HostWindowProbe window_;
  kt::test::TempDir dir_;
  int id_ = 0;
};

// Every frame of a raw file is whole: its rows run on from a frame base.
void ExpectWholeRawFrames(const std::vector<uint8_t>& bytes) {
  ASSERT_EQ(0u, bytes.size() % kRawFrame);
  for (size_t offset = 0; offset < bytes.size(); offset += kRawFrame) {
    uint16_t first = 0;
    uint16_t last = 0;
    std::memcpy(&first, bytes.data() + offset, 2);
    std::memcpy(&last, bytes.data() + offset + kRawFrame - 2, 2);
    EXPECT_EQ(0, first % 300) << "frame at " << offset;
    EXPECT_EQ(first + kHeight - 1, last) << "frame at " << offset;
  }
}

void ExpectReadable(const FullDiskCase& c, const std::filesystem::path& file) {
  const auto bytes = kt::test::ReadFileBytes(file);
  if (c.mode == 1) ExpectWholeRawFrames(bytes);
  if (c.mode == 3) {
    ASSERT_FALSE(bytes.empty()) << file;
    ASSERT_EQ(0u, bytes.size() % kTemperatureFrame);
    float last = 0.0f;
    std::memcpy(&last, bytes.data() + bytes.size() - 4, 4);
    EXPECT_EQ(-999.0f, last);  // no table: no pixel has a temperature
  }
  if (c.mode == 2) {
    const uint32_t frames = kt::test::ExpectFinishedAvi(bytes, file.string());
    if (kt::test::FfprobeAvailable()) kt::test::ExpectProbedCameraVideo(file, frames);
  }
}

TEST_P(RecordingFullDiskTest, KeepsTheCompleteFramesEndsAndRecordsAgainWhenAsked) {
  const FullDiskCase c = GetParam();
  ASSERT_EQ(1, Rec(c.name, c.mode));
  {
    kt::test::FileSizeLimit disk(c.limit);
    ASSERT_EQ(1, KolThermo_Preview(id_));
    ASSERT_TRUE(WaitForRecording(0));
    ASSERT_TRUE(Frames(5));  // frames go on streaming; nothing more is tried
    EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
    EXPECT_EQ(c.mode, KolThermo_GetParam(id_, 4));  // the request itself stands
    EXPECT_EQ(1, CodeNines());
  }
  const auto full_file = kt::test::ReadFileBytes(dir_.Path(c.name));
  EXPECT_EQ(c.kept_bytes, full_file.size());
  ExpectReadable(c, dir_.Path(c.name));

  // Space has returned; the host asks for the same recording again. It goes
  // on in the next numbered file and leaves the full one as it was.
  ASSERT_EQ(1, Rec(c.name, c.mode));
  ASSERT_TRUE(WaitForRecording(1));
  ASSERT_TRUE(Frames(4));
  KolThermo_Close(id_);
  EXPECT_EQ(0, CodeNines());
  EXPECT_EQ(full_file, kt::test::ReadFileBytes(dir_.Path(c.name)));
  EXPECT_GT(std::filesystem::file_size(dir_.Path(c.next_name)), c.mode == 2 ? 240u : 0u);
  ExpectReadable(c, dir_.Path(c.next_name));

  // A later acquisition starts the request afresh, in the named file.
  window_.Drain();
  ASSERT_EQ(1, KolThermo_Preview(id_));
  ASSERT_TRUE(Frames(3));
  KolThermo_Close(id_);
  EXPECT_EQ(0, CodeNines());
  EXPECT_GT(std::filesystem::file_size(dir_.Path(c.name)), 0u);
  ExpectReadable(c, dir_.Path(c.name));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RecordingFullDiskTest,
    ::testing::Values(
        // Three raw frames fit; the fourth is cut away.
        FullDiskCase{1, "full.raw", "full_1.raw", 3 * kRawFrame + 1000, 3 * kRawFrame},
        // Two video frames fit; the index takes the place of the third's remains.
        FullDiskCase{2, "full.avi", "full_1.avi", 232 + 2 * kVideoChunk + 1000,
                     232 + 2 * kVideoChunk + 8 + 2 * 16},
        // Two temperature frames fit.
        FullDiskCase{3, "full.bin", "full_1.bin", 2 * kTemperatureFrame + 7,
                     2 * kTemperatureFrame}),
    [](const ::testing::TestParamInfo<FullDiskCase>& param_info) {
      return "Mode" + std::to_string(param_info.param.mode);
    });

// The disk is full before the headers: the start fails, the empty file stays
// empty, and asking again retries the same file.
TEST_F(RecordingFullDiskTest, VideoThatCannotStartRaisesOnceAndRetriesWhenAsked) {
  ASSERT_EQ(1, Rec("nospace.avi", 2));
  {
    kt::test::FileSizeLimit disk(100);
    ASSERT_EQ(1, KolThermo_Preview(id_));
    ASSERT_TRUE(Frames(6));
    EXPECT_EQ(0, KolThermo_GetParam(id_, 7));
    EXPECT_EQ(1, CodeNines());
    EXPECT_EQ(0u, std::filesystem::file_size(dir_.Path("nospace.avi")));
  }
  ASSERT_EQ(1, Rec("nospace.avi", 2));
  ASSERT_TRUE(WaitForRecording(1));
  ASSERT_TRUE(Frames(3));
  KolThermo_Close(id_);
  EXPECT_EQ(0, CodeNines());
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("nospace_1.avi")));
  const uint32_t frames =
      kt::test::ExpectFinishedAvi(kt::test::ReadFileBytes(dir_.Path("nospace.avi")), "nospace.avi");
  EXPECT_GE(frames, 2u);
}

}  // namespace

#endif  // _WIN32
