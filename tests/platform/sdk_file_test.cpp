#include "platform/sdk_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/test_support.h"

namespace kt {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

void ExpectEmpty(const CSdkFile& file) {
  EXPECT_EQ(file.handle(), nullptr);
  EXPECT_EQ(file.data(), nullptr);
  EXPECT_EQ(file.size(), 0u);
}

// Whether another open of `path` succeeds, that is, whether nothing holds it.
bool IsFree(const std::u16string& path) {
  platform::FileHandle probe =
      platform::FileOpen(path.c_str(), platform::FileDisposition::kReadExisting);
  platform::FileClose(probe);
  return probe != nullptr;
}

TEST(SdkFileTest, FreshObjectRefusesEverythingAndClosesRepeatedly) {
  CSdkFile file;
  ExpectEmpty(file);
  EXPECT_FALSE(file.Write("abc", 3));
  EXPECT_FALSE(file.QuerySize());
  EXPECT_FALSE(file.Seek(0));
  EXPECT_FALSE(file.SeekToEnd());
  uint64_t position = 0;
  EXPECT_FALSE(file.Tell(&position));
  EXPECT_FALSE(file.Truncate());
  file.Close();
  file.Close();
  ExpectEmpty(file);
}

TEST(SdkFileTest, OpenWriteTruncatesAnExistingFile) {
  TempDir dir;
  WriteFileBytes(dir.Path("old.bin"), std::vector<uint8_t>(1000, 0xAB));
  CSdkFile file;
  ASSERT_NE(file.OpenWrite(dir.Wide("old.bin").c_str()), nullptr);
  EXPECT_EQ(file.size(), 0u);
  EXPECT_EQ(std::filesystem::file_size(dir.Path("old.bin")), 0u);
  ASSERT_TRUE(file.Write("0123456789", 10));
  ASSERT_TRUE(file.QuerySize());
  EXPECT_EQ(file.size(), 10u);
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir.Path("old.bin")), Bytes("0123456789"));
}

TEST(SdkFileTest, OpenWriteCreatesAMissingFileButNotAMissingDirectory) {
  TempDir dir;
  CSdkFile file;
  ASSERT_NE(file.OpenWrite(dir.Wide("new.bin").c_str()), nullptr);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("new.bin")));
  EXPECT_EQ(file.OpenWrite(dir.Wide("no-such-dir/new.bin").c_str()), nullptr);
  ExpectEmpty(file);
  EXPECT_EQ(file.OpenWrite(nullptr), nullptr);
  EXPECT_EQ(file.OpenWrite(u""), nullptr);
  ExpectEmpty(file);
  // The failed opens closed the first file on the way.
  EXPECT_TRUE(IsFree(dir.Wide("new.bin")));
}

TEST(SdkFileTest, LoadAllReadsTheWholeFileAndClosesIt) {
  TempDir dir;
  const std::vector<uint8_t> contents = Bytes("KOLVEN THERMO TABLE 1000\r\n1 2 3");
  WriteFileBytes(dir.Path("table.txt"), contents);
  CSdkFile file;
  const uint8_t* data = file.LoadAll(dir.Wide("table.txt").c_str());
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data, file.data());
  EXPECT_EQ(file.handle(), nullptr);
  ASSERT_EQ(file.size(), contents.size());
  EXPECT_EQ(std::vector<uint8_t>(data, data + file.size()), contents);
  EXPECT_TRUE(IsFree(dir.Wide("table.txt")));
  EXPECT_FALSE(file.Write("x", 1));  // loaded data is not an open file
  file.Close();
  ExpectEmpty(file);
}

TEST(SdkFileTest, LoadAllOfAnEmptyFileGivesData) {
  TempDir dir;
  WriteFileBytes(dir.Path("empty.bin"), {});
  CSdkFile file;
  EXPECT_NE(file.LoadAll(dir.Wide("empty.bin").c_str()), nullptr);
  EXPECT_NE(file.data(), nullptr);
  EXPECT_EQ(file.size(), 0u);
}

TEST(SdkFileTest, LoadAllFailuresLeaveNothingHeld) {
  TempDir dir;
  WriteFileBytes(dir.Path("held.bin"), Bytes("data"));
  CSdkFile file;
  ASSERT_NE(file.LoadAll(dir.Wide("held.bin").c_str()), nullptr);
  EXPECT_EQ(file.LoadAll(dir.Wide("missing.bin").c_str()), nullptr);
  ExpectEmpty(file);
  EXPECT_EQ(file.LoadAll(dir.path().u16string().c_str()), nullptr);  // a directory
  ExpectEmpty(file);
  EXPECT_EQ(file.LoadAll(nullptr), nullptr);
  ExpectEmpty(file);
}

TEST(SdkFileTest, ReusingOneObjectReleasesThePreviousFile) {
  TempDir dir;
  WriteFileBytes(dir.Path("b.bin"), Bytes("bee"));
  CSdkFile file;
  ASSERT_NE(file.OpenWrite(dir.Wide("a.bin").c_str()), nullptr);
  EXPECT_FALSE(IsFree(dir.Wide("a.bin")));
  ASSERT_NE(file.LoadAll(dir.Wide("b.bin").c_str()), nullptr);
  EXPECT_TRUE(IsFree(dir.Wide("a.bin")));
  ASSERT_NE(file.OpenWrite(dir.Wide("c.bin").c_str()), nullptr);
  EXPECT_EQ(file.data(), nullptr);
  EXPECT_EQ(file.size(), 0u);
  ASSERT_NE(file.OpenWrite(dir.Wide("a.bin").c_str()), nullptr);
  EXPECT_TRUE(IsFree(dir.Wide("c.bin")));
}

TEST(SdkFileTest, NonAsciiPathsRoundTrip) {
  TempDir dir;
  const std::string name =
      "Gr\xC3\xBC\xC3\x9F"
      "e-\xE6\xB8\xA9\xE5\xBA\xA6.bin";
  CSdkFile file;
  ASSERT_NE(file.OpenWrite(dir.Wide(name).c_str()), nullptr);
  ASSERT_TRUE(file.Write("\x01\x02\x03", 3));
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir.Path(name)), Bytes("\x01\x02\x03"));
  ASSERT_NE(file.LoadAll(dir.Wide(name).c_str()), nullptr);
  EXPECT_EQ(std::vector<uint8_t>(file.data(), file.data() + file.size()), Bytes("\x01\x02\x03"));
}

TEST(SdkFileTest, SeekPatchesWhatWasWritten) {
  TempDir dir;
  CSdkFile file;
  ASSERT_NE(file.OpenWrite(dir.Wide("avi.bin").c_str()), nullptr);
  ASSERT_TRUE(file.Write("RIFF....AVI LIST", 16));
  ASSERT_TRUE(file.Seek(4));
  ASSERT_TRUE(file.Write("\x10\x00\x00\x00", 4));
  uint64_t position = 0;
  ASSERT_TRUE(file.Tell(&position));
  EXPECT_EQ(position, 8u);
  ASSERT_TRUE(file.SeekToEnd());
  ASSERT_TRUE(file.Write("!", 1));
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir.Path("avi.bin")), Bytes(std::string("RIFF\x10\x00\x00\x00"
                                                                  "AVI LIST!",
                                                                  17)));
}

TEST(SdkFileTest, TruncateEndsTheFileAtThePositionAndKeepsIt) {
  TempDir dir;
  CSdkFile file;
  ASSERT_NE(file.OpenWrite(dir.Wide("cut.bin").c_str()), nullptr);
  ASSERT_TRUE(file.Write("0123456789", 10));
  ASSERT_TRUE(file.Seek(4));
  ASSERT_TRUE(file.Truncate());
  EXPECT_EQ(file.size(), 4u);
  uint64_t position = 0;
  ASSERT_TRUE(file.Tell(&position));
  EXPECT_EQ(position, 4u);
  ASSERT_TRUE(file.Write("XY", 2));
  // Past 4 GiB: offsets of long raw recordings need all 64 bits.
  ASSERT_TRUE(file.Seek((uint64_t{1} << 32) + 5));
  ASSERT_TRUE(file.Truncate());
  EXPECT_EQ(file.size(), 5u);  // the low half of 4 GiB + 5
  ASSERT_TRUE(file.Seek(6));
  ASSERT_TRUE(file.Truncate());
  file.Close();
  EXPECT_EQ(ReadFileBytes(dir.Path("cut.bin")), Bytes("0123XY"));
}

TEST(SdkFileTest, SizesKeepTheLowHalfAndLoadAllRefusesFourGiB) {
  TempDir dir;
  const std::u16string path = dir.Wide("huge.bin");
  CSdkFile file;
  ASSERT_NE(file.OpenWrite(path.c_str()), nullptr);
  // A sparse file of 4 GiB + 3 bytes.
  ASSERT_TRUE(
      platform::FileSeek(file.handle(), int64_t{1} << 32, platform::SeekOrigin::kBegin, nullptr));
  ASSERT_TRUE(file.Write("abc", 3));
  ASSERT_TRUE(file.QuerySize());
  EXPECT_EQ(file.size(), 3u);
  file.Close();
  EXPECT_EQ(file.LoadAll(path.c_str()), nullptr);
  ExpectEmpty(file);
  EXPECT_TRUE(IsFree(path));
}

}  // namespace
}  // namespace kt
