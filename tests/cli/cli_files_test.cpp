// Files that kolthermo snap and record write: sizes, headers, numbering,
// failures in words, and a recording ended by Ctrl-C.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_process.h"
#include "support/test_support.h"

namespace kt::test {
namespace {

using ::testing::HasSubstr;

constexpr size_t kPixels = 384 * 288;

uint32_t Little32(const std::vector<uint8_t>& bytes, size_t offset) {
  if (bytes.size() < offset + 4) return 0;
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

bool StartsWith(const std::vector<uint8_t>& bytes, const void* prefix, size_t size) {
  return bytes.size() >= size && std::memcmp(bytes.data(), prefix, size) == 0;
}

// A finished AVI: RIFF size matching the file, "AVI " form, an index, and
// the main header's frame count.
uint32_t FinishedAviFrames(const std::vector<uint8_t>& avi) {
  EXPECT_TRUE(StartsWith(avi, "RIFF", 4));
  EXPECT_EQ(std::memcmp(avi.data() + 8, "AVI ", 4), 0);
  EXPECT_EQ(Little32(avi, 4), avi.size() - 8);
  const std::string text(avi.begin(), avi.end());
  EXPECT_NE(text.find("idx1"), std::string::npos);
  return Little32(avi, 48);
}

TEST(CliSnap, WritesEachFormatWithItsSizeAndSignature) {
  TempDir dir;
  ASSERT_EQ(RunCli({"table", "--layout", "4000", "--output", "t.bin"}, dir.path()).exit_status, 0);

  const CliRun bmp = RunCli({"snap"}, dir.path());  // bmp to kolthermo-snap.bmp by default
  ASSERT_EQ(bmp.exit_status, 0) << bmp.output;
  const auto bmp_bytes = ReadFileBytes(dir.Path("kolthermo-snap.bmp"));
  EXPECT_EQ(bmp_bytes.size(), 331830u);
  EXPECT_TRUE(StartsWith(bmp_bytes, "BM", 2));
  EXPECT_THAT(bmp.output, HasSubstr("331830 bytes"));

  // The extension alone chooses the format.
  ASSERT_EQ(RunCli({"snap", "--output", "s.png"}, dir.path()).exit_status, 0);
  EXPECT_TRUE(StartsWith(ReadFileBytes(dir.Path("s.png")), "\x89PNG\r\n\x1a\n", 8));

  ASSERT_EQ(RunCli({"snap", "--format", "raw-tiff", "--output", "s.tiff"}, dir.path()).exit_status,
            0);
  EXPECT_TRUE(StartsWith(ReadFileBytes(dir.Path("s.tiff")), "II*\0", 4));

  ASSERT_EQ(RunCli({"snap", "--format", "jpeg20", "--output", "s.jpg"}, dir.path()).exit_status, 0);
  EXPECT_TRUE(StartsWith(ReadFileBytes(dir.Path("s.jpg")), "\xff\xd8\xff", 3));

  ASSERT_EQ(RunCli({"snap", "--format", "raw", "--output", "s.raw"}, dir.path()).exit_status, 0);
  EXPECT_EQ(ReadFileBytes(dir.Path("s.raw")).size(), kPixels * 2);

  // The float map with the table: real scene temperatures, none missing.
  const CliRun map =
      RunCli({"snap", "--format", "temp-f32", "--table", "t.bin", "--output", "s.f32"}, dir.path());
  ASSERT_EQ(map.exit_status, 0) << map.output;
  const auto map_bytes = ReadFileBytes(dir.Path("s.f32"));
  ASSERT_EQ(map_bytes.size(), kPixels * 4);
  std::vector<float> temperatures(kPixels);
  std::memcpy(temperatures.data(), map_bytes.data(), map_bytes.size());
  for (const float t : temperatures) {
    ASSERT_GT(t, -10.0f);
    ASSERT_LT(t, 100.0f);
  }
}

TEST(CliSnap, NumbersAFileForEachOfSeveralStills) {
  TempDir dir;
  const CliRun run = RunCli({"snap", "--count", "3", "--output", "m.raw"}, dir.path());
  ASSERT_EQ(run.exit_status, 0) << run.output;
  for (const char* name : {"m_1.raw", "m_2.raw", "m_3.raw"}) {
    EXPECT_EQ(ReadFileBytes(dir.Path(name)).size(), kPixels * 2) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Path("m.raw")));
}

TEST(CliSnap, FailuresSayWhyAndLeaveTheTargetAlone) {
  TempDir dir;
  // Stills are written beside their target first: a missing folder or a
  // target that is not a regular file fails in the tool's own words, and the
  // target is left alone.
  const CliRun unwritable = RunCli({"snap", "--output", "missing/dir/x.bmp"}, dir.path());
  EXPECT_EQ(unwritable.exit_status, 1);
  EXPECT_THAT(unwritable.output, HasSubstr("cannot write 'missing/dir/x.bmp'"));
  std::filesystem::create_directory(dir.Path("folder"));
  const CliRun folder = RunCli({"snap", "--output", "folder"}, dir.path());
  EXPECT_EQ(folder.exit_status, 1);
  EXPECT_THAT(folder.output, HasSubstr("'folder': not a regular file"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path("folder")));

  WriteFileBytes(dir.Path("bad.bin"), {1, 2, 3});
  const CliRun bad_table = RunCli({"snap", "--table", "bad.bin"}, dir.path());
  EXPECT_EQ(bad_table.exit_status, 1);
  EXPECT_THAT(bad_table.output, HasSubstr("calibration table 'bad.bin': code 9"));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("kolthermo-snap.bmp")));
}

TEST(CliRecord, VideoRawAndTemperatureRecordingsHoldTheFramesAsked) {
  TempDir dir;
  ASSERT_EQ(RunCli({"table", "--layout", "4000", "--output", "t.bin"}, dir.path()).exit_status, 0);
  const CliRun video = RunCli({"record", "--frames", "5", "--output", "v.avi"}, dir.path());
  ASSERT_EQ(video.exit_status, 0) << video.output;
  EXPECT_EQ(FinishedAviFrames(ReadFileBytes(dir.Path("v.avi"))), 5u);
  // Not a terminal: progress comes as plain lines.
  EXPECT_THAT(video.output, HasSubstr("recording video: done"));
  EXPECT_EQ(video.output.find('\r'), std::string::npos);

  const CliRun raw =
      RunCli({"record", "--frames", "3", "--output", "r.raw"}, dir.path());  // raw by extension
  ASSERT_EQ(raw.exit_status, 0) << raw.output;
  EXPECT_EQ(ReadFileBytes(dir.Path("r.raw")).size(), 3 * kPixels * 2);

  const CliRun temperature = RunCli(
      {"record", "--mode", "temperature", "--frames", "2", "--table", "t.bin", "--output", "t.f32"},
      dir.path());
  ASSERT_EQ(temperature.exit_status, 0) << temperature.output;
  EXPECT_EQ(ReadFileBytes(dir.Path("t.f32")).size(), 2 * kPixels * 4);
}

TEST(CliRecord, SplitSizeZeroPutsEachRawFrameInANumberedFile) {
  TempDir dir;
  const CliRun run =
      RunCli({"record", "--mode", "raw", "--frames", "3", "--split-mb", "0", "--output", "s.raw"},
             dir.path());
  ASSERT_EQ(run.exit_status, 0) << run.output;
  for (const char* name : {"s.raw", "s_1.raw", "s_2.raw"}) {
    EXPECT_EQ(ReadFileBytes(dir.Path(name)).size(), kPixels * 2) << name;
    EXPECT_THAT(run.output, HasSubstr(name));
  }
}

TEST(CliRecord, CtrlCFinishesTheVideoAndExits130) {
  TempDir dir;
  const CliRun run = InterruptCli({"record", "--seconds", "30", "--output", "c.avi"}, dir.path(),
                                  "recording video: 0%");
  EXPECT_EQ(run.exit_status, 130) << run.output;
  const auto avi = ReadFileBytes(dir.Path("c.avi"));
  ASSERT_FALSE(avi.empty());
  EXPECT_GT(FinishedAviFrames(avi), 0u);
  EXPECT_THAT(run.output, HasSubstr("interrupted"));
}

TEST(CliRecord, AnUnwritablePathFailsInWords) {
  TempDir dir;
  const CliRun run = RunCli({"record", "--frames", "3", "--output", "no/dir/v.avi"}, dir.path());
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_THAT(run.output, HasSubstr("code 9 (file or table failed)"));
}

}  // namespace
}  // namespace kt::test
