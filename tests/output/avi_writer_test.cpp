#include "output/avi_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ffprobe.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace kt {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  if (offset + 4 > bytes.size()) return 0xDEADBEEF;
  return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
         uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
}

std::string TagAt(const std::vector<uint8_t>& bytes, size_t offset) {
  if (offset + 4 > bytes.size()) return "";
  return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                     bytes.begin() + static_cast<std::ptrdiff_t>(offset + 4));
}

// Builds expected file bytes independently of the writer's structs.
struct Expected {
  std::vector<uint8_t> bytes;
  void Word(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<uint8_t>(value >> shift));
  }
  void Half(uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
  }
  void Tag(const char* tag) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(tag[i]));
  }
  void Zeros(int words) {
    for (int i = 0; i < words; ++i) Word(0);
  }
};

void Configure(AviWriter& writer, int32_t width, int32_t height, uint16_t bits, uint32_t rate) {
  writer.set_width(width);
  writer.set_height(height);
  writer.set_bits_per_pixel(bits);
  writer.set_rate(rate);
  writer.set_frame_count(0);
}

// Adds a frame filled with `value`, counting it as the owner does.
bool AddFilledFrame(AviWriter& writer, uint8_t value) {
  std::vector<uint8_t> pixels(writer.frame_bytes(), value);
  if (!writer.AddFrame(pixels.data())) return false;
  writer.set_frame_count(writer.frame_count() + 1);
  return true;
}

// Checks the RIFF size, movie list size and the idx1 that follows `frames`
// chunks of `frame` bytes each.
void ExpectConsistentFile(const std::vector<uint8_t>& file, uint32_t frames, uint32_t frame) {
  const uint32_t chunk = frame + 8;
  ASSERT_EQ(file.size(), size_t{232} + uint64_t{frames} * chunk + 8 + 16 * frames);
  EXPECT_EQ(WordAt(file, 4), file.size() - 8);
  EXPECT_EQ(WordAt(file, 224), 4 + frames * chunk);
  EXPECT_EQ(WordAt(file, 48), frames);
  EXPECT_EQ(WordAt(file, 140), frames);
  for (uint32_t i = 0; i < frames; ++i) {
    EXPECT_EQ(TagAt(file, 232 + i * chunk), "00db");
    EXPECT_EQ(WordAt(file, 236 + i * chunk), frame);
  }
  const size_t index = 232 + size_t{frames} * chunk;
  EXPECT_EQ(TagAt(file, index), "idx1");
  EXPECT_EQ(WordAt(file, index + 4), 16 * frames);
  for (uint32_t i = 0; i < frames; ++i) {
    const size_t entry = index + 8 + 16 * i;
    EXPECT_EQ(TagAt(file, entry), "00db");
    EXPECT_EQ(WordAt(file, entry + 4), 0x10u);
    EXPECT_EQ(WordAt(file, entry + 8), 4 + i * chunk);
    EXPECT_EQ(WordAt(file, entry + 12), frame);
  }
}

TEST(AviWriterTest, CameraSizedRecordingHeadersCountersAndIndex) {
  TempDir dir;
  AviWriter writer;
  Configure(writer, 384, 288, 24, 30);
  ASSERT_TRUE(writer.Open(dir.Wide("rec.avi").c_str()));
  EXPECT_TRUE(writer.is_open());
  EXPECT_EQ(writer.frame_bytes(), 331776u);
  EXPECT_EQ(writer.main_header().suggested_buffer_size, 331784u);
  EXPECT_EQ(writer.stream_header().suggested_buffer_size, 331784u);
  EXPECT_EQ(writer.main_header().max_bytes_per_second, 2706440256u);
  EXPECT_EQ(writer.main_header().microseconds_per_frame, 33333u);
  EXPECT_EQ(writer.stream_header().scale, 333333u);
  EXPECT_EQ(writer.stream_header().rate, 10000000u);
  EXPECT_EQ(writer.riff_bytes(), 224u);
  EXPECT_EQ(writer.movie_bytes(), 4u);

  for (uint8_t value : {uint8_t{0x11}, uint8_t{0x22}, uint8_t{0x33}}) {
    ASSERT_TRUE(AddFilledFrame(writer, value));
  }
  EXPECT_EQ(writer.movie_bytes(), 4u + 3u * 331784u);
  EXPECT_EQ(writer.riff_bytes(), 224u + 3u * 331784u);
  ASSERT_EQ(writer.index().size(), 3u);
  EXPECT_EQ(writer.index()[0].offset, 4u);
  EXPECT_EQ(writer.index()[1].offset, 331788u);
  EXPECT_EQ(writer.index()[2].offset, 663572u);

  writer.set_rate(2500);
  ASSERT_TRUE(writer.Finish());
  EXPECT_FALSE(writer.is_open());
  EXPECT_FALSE(writer.failed());
  const auto file = ReadFileBytes(dir.Path("rec.avi"));
  EXPECT_EQ(WordAt(file, 32), 40000u);
  EXPECT_EQ(WordAt(file, 128), 400000u);
  ExpectConsistentFile(file, 3, 331776);
  // Each frame's pixels sit right after its chunk header.
  EXPECT_EQ(file[240], 0x11);
  EXPECT_EQ(file[240 + 331775], 0x11);
  EXPECT_EQ(file[240 + 331784], 0x22);
  EXPECT_EQ(file[240 + 2 * 331784 + 331775], 0x33);

  writer.Reset();
  EXPECT_EQ(writer.riff_bytes(), 0u);
  EXPECT_EQ(writer.movie_bytes(), 0u);
  EXPECT_TRUE(writer.index().empty());
}

TEST(AviWriterTest, FinishedHeaderMatchesTheLayoutByteForByte) {
  TempDir dir;
  AviWriter writer;
  // An odd frame size: chunks must follow each other without padding.
  Configure(writer, 5, 3, 8, 30);
  ASSERT_TRUE(writer.Open(dir.Wide("small.avi").c_str()));
  ASSERT_TRUE(AddFilledFrame(writer, 1));
  ASSERT_TRUE(AddFilledFrame(writer, 2));
  writer.set_rate(3000);
  ASSERT_TRUE(writer.Finish());

  const uint32_t frame = 15;
  const uint32_t chunk = frame + 8;
  Expected e;
  e.Tag("RIFF");
  e.Word(224 + 2 * chunk + 8 + 32);
  e.Tag("AVI ");
  e.Tag("LIST");
  e.Word(200);
  e.Tag("hdrl");
  e.Tag("avih");
  e.Word(56);
  e.Word(100000000 / 3000);  // patched microseconds per frame
  e.Word(chunk * chunk);
  e.Word(0);
  e.Word(0x00010010);
  e.Word(2);  // total frames
  e.Word(0);
  e.Word(1);
  e.Word(chunk);
  e.Word(5);
  e.Word(3);
  e.Zeros(4);
  e.Tag("LIST");
  e.Word(124);
  e.Tag("strl");
  e.Tag("strh");
  e.Word(64);
  e.Tag("vids");
  e.Tag("DIB ");
  e.Word(0);
  e.Half(0);
  e.Half(0);
  e.Word(0);
  e.Word(1000000000 / 3000);  // patched scale
  e.Word(10000000);
  e.Word(0);
  e.Word(2);  // length
  e.Word(chunk);
  e.Word(0);
  e.Word(0);
  e.Zeros(4);
  e.Tag("strf");
  e.Word(40);
  e.Word(40);
  e.Word(5);
  e.Word(3);
  e.Half(1);
  e.Half(8);
  e.Zeros(6);
  e.Tag("LIST");
  e.Word(4 + 2 * chunk);
  e.Tag("movi");
  ASSERT_EQ(e.bytes.size(), 232u);

  const auto file = ReadFileBytes(dir.Path("small.avi"));
  ASSERT_GE(file.size(), 232u);
  EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 232), e.bytes);
  ExpectConsistentFile(file, 2, frame);
  EXPECT_EQ(file[240], 1);
  EXPECT_EQ(file[240 + chunk], 2);
}

TEST(AviWriterTest, EmptyRecordingKeepsOpenTimingAndHasAnEmptyIndex) {
  TempDir dir;
  AviWriter writer;
  Configure(writer, 384, 288, 24, 30);
  ASSERT_TRUE(writer.Open(dir.Wide("empty.avi").c_str()));
  writer.set_rate(0);  // no frame arrived, so the measured rate is 0
  ASSERT_TRUE(writer.Finish());
  const auto file = ReadFileBytes(dir.Path("empty.avi"));
  ExpectConsistentFile(file, 0, 331776);
  EXPECT_EQ(WordAt(file, 32), 33333u);
  EXPECT_EQ(WordAt(file, 128), 333333u);
}

TEST(AviWriterTest, OpenReplacesALongerFileAndCanBeReused) {
  TempDir dir;
  WriteFileBytes(dir.Path("old.avi"), std::vector<uint8_t>(100000, 0xEE));
  AviWriter writer;
  Configure(writer, 4, 2, 24, 30);
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(writer.Open(dir.Wide("old.avi").c_str()));
    ASSERT_TRUE(AddFilledFrame(writer, 7));
    writer.set_rate(3000);
    ASSERT_TRUE(writer.Finish());
    writer.Reset();
    ExpectConsistentFile(ReadFileBytes(dir.Path("old.avi")), 1, 24);
  }
}

TEST(AviWriterTest, RefusesBadSettingsAndCallsOutOfOrder) {
  TempDir dir;
  AviWriter writer;
  const uint8_t pixels[64] = {};
  EXPECT_FALSE(writer.AddFrame(pixels));
  EXPECT_FALSE(writer.Finish());

  Configure(writer, 4, 2, 24, 0);  // a rate of 0 would divide by zero
  EXPECT_FALSE(writer.Open(dir.Wide("a.avi").c_str()));
  Configure(writer, -4, 2, 24, 30);
  EXPECT_FALSE(writer.Open(dir.Wide("a.avi").c_str()));
  Configure(writer, 4, 0, 24, 30);
  EXPECT_FALSE(writer.Open(dir.Wide("a.avi").c_str()));
  Configure(writer, 65536, 65536, 32, 30);  // frame does not fit 32 bits
  EXPECT_FALSE(writer.Open(dir.Wide("a.avi").c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("a.avi")));

  Configure(writer, 4, 2, 24, 30);
  EXPECT_FALSE(writer.Open(nullptr));
  EXPECT_FALSE(writer.Open(dir.Wide("missing/dir/a.avi").c_str()));
  EXPECT_FALSE(writer.is_open());
  EXPECT_EQ(writer.riff_bytes(), 0u);

  ASSERT_TRUE(writer.Open(dir.Wide("a.avi").c_str()));
  EXPECT_FALSE(writer.AddFrame(nullptr));
  EXPECT_FALSE(writer.failed());
  EXPECT_EQ(writer.movie_bytes(), 4u);
  EXPECT_TRUE(writer.Finish());
  EXPECT_FALSE(writer.Finish());
  ExpectConsistentFile(ReadFileBytes(dir.Path("a.avi")), 0, 24);
}

TEST(AviWriterTest, RefusedWritesLeaveAFileDescribingOnlyWrittenFrames) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a per-process file size limit to make writes fail";
#else
  TempDir dir;
  AviWriter writer;
  Configure(writer, 10, 10, 8, 30);  // 100-byte frames, 108-byte chunks
  {
    test::FileSizeLimit limit(100);  // not even the headers fit
    EXPECT_FALSE(writer.Open(dir.Wide("full.avi").c_str()));
    EXPECT_FALSE(writer.is_open());
    // Half a header is no AVI: the file is left empty.
    EXPECT_EQ(std::filesystem::file_size(dir.Path("full.avi")), 0u);
  }

  test::FileSizeLimit limit(232 + 108 + 50);  // room for one frame and half of another
  ASSERT_TRUE(writer.Open(dir.Wide("part.avi").c_str()));
  ASSERT_TRUE(AddFilledFrame(writer, 1));
  EXPECT_FALSE(AddFilledFrame(writer, 2));
  EXPECT_TRUE(writer.failed());
  EXPECT_EQ(writer.index().size(), 1u);
  EXPECT_EQ(writer.movie_bytes(), 4u + 108u);
  EXPECT_EQ(writer.riff_bytes(), 224u + 108u);

  limit.Lift();  // space returns: the next frame takes the refused one's place
  ASSERT_TRUE(AddFilledFrame(writer, 3));
  writer.set_rate(3000);
  ASSERT_TRUE(writer.Finish());
  EXPECT_TRUE(writer.failed());
  const auto file = ReadFileBytes(dir.Path("part.avi"));
  ExpectConsistentFile(file, 2, 100);
  EXPECT_EQ(file[240], 1);
  EXPECT_EQ(file[240 + 108], 3);
  EXPECT_EQ(file[240 + 108 + 99], 3);
#endif
}

TEST(AviWriterTest, FullDiskFinishesWithTheCompleteFramesAndNothingAfterTheIndex) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a per-process file size limit to make writes fail";
#else
  TempDir dir;
  AviWriter writer;
  Configure(writer, 10, 10, 8, 30);  // 100-byte frames, 108-byte chunks
  // Room for two frames and 50 bytes of a third: the index (8 + 2 x 16 bytes)
  // goes over the refused chunk's remains, and the file ends right after it.
  test::FileSizeLimit limit(232 + 2 * 108 + 50);
  ASSERT_TRUE(writer.Open(dir.Wide("full.avi").c_str()));
  ASSERT_TRUE(AddFilledFrame(writer, 1));
  ASSERT_TRUE(AddFilledFrame(writer, 2));
  EXPECT_FALSE(AddFilledFrame(writer, 3));
  writer.set_rate(3000);
  EXPECT_TRUE(writer.Finish());
  const auto file = ReadFileBytes(dir.Path("full.avi"));
  ExpectConsistentFile(file, 2, 100);
  EXPECT_EQ(WordAt(file, 44), 0x00010010u);
  EXPECT_EQ(file[240 + 108], 2);
#endif
}

TEST(AviWriterTest, FullDiskAtAChunkBoundaryGivesUpTheNewestFrameForTheIndex) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a per-process file size limit to make writes fail";
#else
  TempDir dir;
  AviWriter writer;
  Configure(writer, 10, 10, 8, 30);
  // Exactly three frames fit and not one byte more: the index only fits where
  // the third frame was.
  test::FileSizeLimit limit(232 + 3 * 108);
  ASSERT_TRUE(writer.Open(dir.Wide("edge.avi").c_str()));
  for (uint8_t value : {uint8_t{1}, uint8_t{2}, uint8_t{3}})
    ASSERT_TRUE(AddFilledFrame(writer, value));
  EXPECT_FALSE(AddFilledFrame(writer, 4));
  writer.set_rate(3000);
  EXPECT_TRUE(writer.Finish());
  EXPECT_TRUE(writer.failed());
  const auto file = ReadFileBytes(dir.Path("edge.avi"));
  ExpectConsistentFile(file, 2, 100);
  EXPECT_EQ(file[240], 1);
  EXPECT_EQ(file[240 + 108], 2);
#endif
}

TEST(AviWriterTest, IndependentReaderAgreesOnCameraSizedFiles) {
  if (!test::FfprobeAvailable()) GTEST_SKIP() << "ffprobe not installed (scripts/install-deps.sh)";
  TempDir dir;
  AviWriter writer;
  Configure(writer, 384, 288, 24, 30);
  ASSERT_TRUE(writer.Open(dir.Wide("five.avi").c_str()));
  for (uint8_t value = 0; value < 5; ++value) ASSERT_TRUE(AddFilledFrame(writer, value));
  writer.set_rate(2500);
  ASSERT_TRUE(writer.Finish());
  writer.Reset();
  ASSERT_TRUE(writer.Open(dir.Wide("none.avi").c_str()));
  writer.set_rate(0);
  ASSERT_TRUE(writer.Finish());

  for (const auto& [name, frames] : {std::pair{"five.avi", 5L}, std::pair{"none.avi", 0L}}) {
    test::ProbedVideo video;
    std::string error;
    ASSERT_TRUE(test::ProbeVideo(dir.Path(name), &video, &error)) << error;
    EXPECT_EQ(video.frames, frames) << name;
    EXPECT_EQ(video.width, 384) << name;
    EXPECT_EQ(video.height, 288) << name;
    EXPECT_EQ(video.codec, "rawvideo") << name;
    EXPECT_EQ(video.pixel_format, "bgr24") << name;
    EXPECT_EQ(video.complaints, "") << name;
  }
}

}  // namespace
}  // namespace kt
