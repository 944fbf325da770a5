// Colour video recordings read back from the AVI file's own headers and
// frame chunks; refusals of bad input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "kolthermo/kolthermo_radiometric.h"

namespace {

namespace fs = std::filesystem;

class VideoRecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kolthermo_video_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Word(const std::vector<unsigned char>& bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// A picture whose every pixel differs in each channel by frame, row and column.
std::vector<unsigned char> Picture(int width, int height, int frame) {
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      p[0] = static_cast<unsigned char>(10 * frame + x);
      p[1] = static_cast<unsigned char>(100 + y);
      p[2] = static_cast<unsigned char>(200 + x + y);
    }
  }
  return rgb;
}

TEST_F(VideoRecordingTest, FramesReadBackBottomUpInBlueGreenRed) {
  // Offsets into the file: main header frame count, width and height; the
  // bitmap format's bits per pixel; the first frame chunk.
  constexpr size_t kTotalFrames = 48, kWidth = 64, kHeight = 68, kBits = 194, kFirstChunk = 232;
  struct Case {
    int width, height, bytes_per_pixel;
    double fps;
    uint32_t microseconds_per_frame;
  };
  for (const Case c : {Case{8, 6, 3, 25.0, 40000}, Case{5, 4, 4, 8.7, 114942}}) {
    SCOPED_TRACE(c.width);
    const std::string path = Path("video.avi");
    KolThermoAviRecording* recording = nullptr;
    ASSERT_EQ(KolThermoAviRecordingOpen(path.c_str(), c.width, c.height, c.fps, &recording),
              KOLTHERMO_THERMO_OK);
    for (int frame = 0; frame < 3; ++frame) {
      ASSERT_EQ(KolThermoAviRecordingAdd(recording, Picture(c.width, c.height, frame).data()),
                KOLTHERMO_THERMO_OK);
    }
    ASSERT_EQ(KolThermoAviRecordingClose(recording), KOLTHERMO_THERMO_OK);

    const std::vector<unsigned char> avi = ReadAll(path);
    const size_t frame_bytes = static_cast<size_t>(c.width) * c.height * c.bytes_per_pixel;
    ASSERT_GT(avi.size(), kFirstChunk + 3 * (frame_bytes + 8));
    EXPECT_EQ(std::memcmp(avi.data(), "RIFF", 4), 0);
    EXPECT_EQ(Word(avi, 32), c.microseconds_per_frame);
    EXPECT_EQ(Word(avi, kTotalFrames), 3u);
    EXPECT_EQ(Word(avi, kWidth), static_cast<uint32_t>(c.width));
    EXPECT_EQ(Word(avi, kHeight), static_cast<uint32_t>(c.height));
    EXPECT_EQ(Word(avi, kBits) & 0xFFFF, static_cast<uint32_t>(c.bytes_per_pixel * 8));
    // The third frame's chunk; its first stored row is the picture's last.
    const size_t third = kFirstChunk + 2 * (frame_bytes + 8);
    EXPECT_EQ(std::memcmp(avi.data() + third, "00db", 4), 0);
    EXPECT_EQ(Word(avi, third + 4), frame_bytes);
    const std::vector<unsigned char> picture = Picture(c.width, c.height, 2);
    const int x = 1, y = c.height - 1;
    const unsigned char* rgb = picture.data() + (static_cast<size_t>(y) * c.width + x) * 3;
    const unsigned char* stored =
        avi.data() + third + 8 + static_cast<size_t>(x) * c.bytes_per_pixel;
    EXPECT_EQ(stored[0], rgb[2]);
    EXPECT_EQ(stored[1], rgb[1]);
    EXPECT_EQ(stored[2], rgb[0]);
  }
}

TEST_F(VideoRecordingTest, BadInputIsRefusedWithoutAFile) {
  const std::string path = Path("bad.avi");
  struct Case {
    const char* path;
    int width, height;
    double fps;
    bool out;
  };
  for (const Case c :
       {Case{nullptr, 4, 4, 25.0, true}, Case{"", 4, 4, 25.0, true},
        Case{path.c_str(), 0, 4, 25.0, true}, Case{path.c_str(), 1 << 20, 1 << 20, 25.0, true},
        Case{path.c_str(), 4, 4, 0.0, true}, Case{path.c_str(), 4, 4, 1001.0, true},
        Case{path.c_str(), 4, 4, std::nan(""), true}, Case{path.c_str(), 4, 4, 25.0, false},
        Case{"\xC0\xAF.avi", 4, 4, 25.0, true}}) {
    KolThermoAviRecording* recording = nullptr;
    EXPECT_EQ(
        KolThermoAviRecordingOpen(c.path, c.width, c.height, c.fps, c.out ? &recording : nullptr),
        KOLTHERMO_THERMO_INVALID_ARGUMENT);
    EXPECT_EQ(recording, nullptr);
  }
  EXPECT_FALSE(fs::exists(path));
  // A directory is no file to write.
  KolThermoAviRecording* refused = nullptr;
  EXPECT_EQ(KolThermoAviRecordingOpen(dir_.string().c_str(), 4, 4, 25.0, &refused),
            KOLTHERMO_THERMO_FILE_ERROR);
  EXPECT_EQ(refused, nullptr);

  KolThermoAviRecording* recording = nullptr;
  ASSERT_EQ(KolThermoAviRecordingOpen(path.c_str(), 4, 4, 25.0, &recording), KOLTHERMO_THERMO_OK);
  EXPECT_EQ(KolThermoAviRecordingAdd(recording, nullptr), KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoAviRecordingAdd(nullptr, Picture(4, 4, 0).data()),
            KOLTHERMO_THERMO_INVALID_ARGUMENT);
  EXPECT_EQ(KolThermoAviRecordingClose(nullptr), KOLTHERMO_THERMO_INVALID_ARGUMENT);
  // Closed without a frame, it is no video and is removed.
  EXPECT_EQ(KolThermoAviRecordingClose(recording), KOLTHERMO_THERMO_OK);
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
