// Files the tools write: whole or not at all, never over something that is not
// a regular file, never over a file the SDK holds, and nothing left behind.
#include "replacement_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kt {
namespace {

namespace fs = std::filesystem;
using tools::ReplaceFileContents;

const std::vector<uint8_t> kOld(1000, 0xAB);
const std::vector<uint8_t> kNew{1, 2, 3, 4};

bool Replace(const fs::path& target, std::string* error) {
  return ReplaceFileContents(target, kNew.data(), kNew.size(), error);
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ReplacementFile, TargetsThatAreNotRegularFilesAreRefusedAndKept) {
  test::TempDir dir;
  fs::create_directory(dir.Path("folder"));
  std::vector<fs::path> targets{dir.Path("folder")};
#ifndef _WIN32
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  fs::create_symlink(dir.Path("nothing"), dir.Path("dangling"));
  targets.push_back(dir.Path("fifo"));
  targets.push_back(dir.Path("dangling"));
  targets.push_back("/dev/null");
#endif
  const std::vector<std::string> before = Entries(dir.path());
  for (const fs::path& target : targets) {
    std::string error;
    EXPECT_FALSE(Replace(target, &error)) << target;
    EXPECT_NE(error.find(target.string()), std::string::npos) << error;
  }
  EXPECT_EQ(Entries(dir.path()), before);
  EXPECT_TRUE(fs::is_directory(dir.Path("folder")));
#ifndef _WIN32
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif
}

TEST(ReplacementFile, AFailedWriteLeavesThePreviousFileAndNothingElse) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a per-process file size limit";
#else
  test::TempDir dir;
  test::WriteFileBytes(dir.Path("table.bin"), kOld);
  std::string error;
  {
    test::FileSizeLimit limit(2);
    EXPECT_FALSE(Replace(dir.Path("table.bin"), &error));
  }
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(test::ReadFileBytes(dir.Path("table.bin")), kOld);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"table.bin"});
#endif
}

TEST(ReplacementFile, AFileTheSdkHoldsIsNotReplaced) {
  test::TempDir dir;
  test::WriteFileBytes(dir.Path("rec.avi"), kOld);
  const std::u16string name = dir.Wide("rec.avi");
  platform::FileHandle held =
      platform::FileOpen(name.c_str(), platform::FileDisposition::kReadExisting);
  ASSERT_NE(held, nullptr);
  std::string error;
  EXPECT_FALSE(Replace(dir.Path("rec.avi"), &error));
  platform::FileClose(held);
  EXPECT_EQ(test::ReadFileBytes(dir.Path("rec.avi")), kOld);
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"rec.avi"});
  // Once released it is replaced.
  ASSERT_TRUE(Replace(dir.Path("rec.avi"), &error)) << error;
  EXPECT_EQ(test::ReadFileBytes(dir.Path("rec.avi")), kNew);
}

#ifndef _WIN32
TEST(ReplacementFile, ALinkKeepsPointingAtTheReplacedFileWhosePermissionsStay) {
  test::TempDir dir;
  test::WriteFileBytes(dir.Path("real.bin"), kOld);
  fs::permissions(dir.Path("real.bin"),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("real.bin", dir.Path("link.bin"));
  std::string error;
  ASSERT_TRUE(Replace(dir.Path("link.bin"), &error)) << error;
  EXPECT_TRUE(fs::is_symlink(dir.Path("link.bin")));
  EXPECT_EQ(test::ReadFileBytes(dir.Path("real.bin")), kNew);
  EXPECT_EQ(fs::status(dir.Path("real.bin")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}
#endif

}  // namespace
}  // namespace kt
