#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace kt::platform {
namespace {

using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Closes a handle at the end of a test, whatever happens in between.
class ScopedFile {
 public:
  explicit ScopedFile(FileHandle file) : file_(file) {}
  ~ScopedFile() { FileClose(file_); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  FileHandle get() const { return file_; }

 private:
  FileHandle file_;
};

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(FileTest, DispositionsMatchTheWindowsMeanings) {
  TempDir dir;
  const std::u16string missing = dir.Wide("missing.bin");
  EXPECT_EQ(FileOpen(missing.c_str(), FileDisposition::kWriteTruncateExisting), nullptr);
  EXPECT_EQ(FileOpen(missing.c_str(), FileDisposition::kReadExisting), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("missing.bin")));

  WriteFileBytes(dir.Path("existing.bin"), Bytes("old contents"));
  const std::u16string existing = dir.Wide("existing.bin");
  EXPECT_EQ(FileOpen(existing.c_str(), FileDisposition::kWriteCreateNew), nullptr);
  EXPECT_EQ(ReadFileBytes(dir.Path("existing.bin")), Bytes("old contents"));
  {
    ScopedFile file(FileOpen(existing.c_str(), FileDisposition::kWriteTruncateExisting));
    ASSERT_NE(file.get(), nullptr);
    uint64_t size = 99;
    ASSERT_TRUE(FileSize(file.get(), &size));
    EXPECT_EQ(size, 0u);
  }
  {
    ScopedFile file(FileOpen(missing.c_str(), FileDisposition::kWriteCreateNew));
    ASSERT_NE(file.get(), nullptr);
  }
  EXPECT_TRUE(std::filesystem::exists(dir.Path("missing.bin")));
}

TEST(FileTest, RefusesNullEmptyAndDirectoryPaths) {
  TempDir dir;
  const std::u16string directory = dir.path().u16string();
  for (FileDisposition disposition :
       {FileDisposition::kWriteTruncateExisting, FileDisposition::kWriteCreateNew,
        FileDisposition::kReadExisting}) {
    EXPECT_EQ(FileOpen(nullptr, disposition), nullptr);
    EXPECT_EQ(FileOpen(u"", disposition), nullptr);
    EXPECT_EQ(FileOpen(directory.c_str(), disposition), nullptr);
  }
  EXPECT_FALSE(FileWrite(nullptr, "x", 1, nullptr));
  EXPECT_FALSE(FileSeek(nullptr, 0, SeekOrigin::kBegin, nullptr));
  uint64_t size = 0;
  EXPECT_FALSE(FileSize(nullptr, &size));
  FileClose(nullptr);
}

#ifndef _WIN32
TEST(FileTest, RefusesAPathThatIsNotValidUtf16) {
  TempDir dir;
  std::u16string path = dir.Wide("bad");
  path.push_back(char16_t{0xD800});
  EXPECT_EQ(FileOpen(path.c_str(), FileDisposition::kWriteCreateNew), nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
#endif

TEST(FileTest, WriteSeekPatchAndReadBack) {
  TempDir dir;
  const std::u16string path = dir.Wide("patch.bin");
  {
    ScopedFile file(FileOpen(path.c_str(), FileDisposition::kWriteCreateNew));
    ASSERT_NE(file.get(), nullptr);
    uint32_t written = 0;
    ASSERT_TRUE(FileWrite(file.get(), "hello world", 11, &written));
    EXPECT_EQ(written, 11u);
    uint64_t position = 0;
    ASSERT_TRUE(FileSeek(file.get(), 0, SeekOrigin::kBegin, &position));
    EXPECT_EQ(position, 0u);
    ASSERT_TRUE(FileWrite(file.get(), "J", 1, nullptr));
    ASSERT_TRUE(FileSeek(file.get(), 0, SeekOrigin::kCurrent, &position));
    EXPECT_EQ(position, 1u);
    ASSERT_TRUE(FileSeek(file.get(), 0, SeekOrigin::kEnd, &position));
    EXPECT_EQ(position, 11u);
    ASSERT_TRUE(FileWrite(file.get(), "!", 1, nullptr));
    EXPECT_FALSE(FileSeek(file.get(), -1, SeekOrigin::kBegin, nullptr));
    EXPECT_FALSE(FileWrite(file.get(), nullptr, 4, nullptr));
  }
  ScopedFile file(FileOpen(path.c_str(), FileDisposition::kReadExisting));
  ASSERT_NE(file.get(), nullptr);
  char buffer[32] = {};
  uint32_t read = 0;
  ASSERT_TRUE(FileRead(file.get(), buffer, sizeof buffer, &read));
  EXPECT_EQ(std::string(buffer, read), "Jello world!");
  ASSERT_TRUE(FileRead(file.get(), buffer, sizeof buffer, &read));
  EXPECT_EQ(read, 0u);  // at the end
}

TEST(FileTest, AnOpenFileIsNotShared) {
  TempDir dir;
  WriteFileBytes(dir.Path("held.bin"), Bytes("keep me"));
  const std::u16string path = dir.Wide("held.bin");
  {
    ScopedFile reader(FileOpen(path.c_str(), FileDisposition::kReadExisting));
    ASSERT_NE(reader.get(), nullptr);
    EXPECT_EQ(FileOpen(path.c_str(), FileDisposition::kReadExisting), nullptr);
    // A refused truncating open must not have truncated anything.
    EXPECT_EQ(FileOpen(path.c_str(), FileDisposition::kWriteTruncateExisting), nullptr);
  }
  EXPECT_EQ(ReadFileBytes(dir.Path("held.bin")), Bytes("keep me"));
  ScopedFile again(FileOpen(path.c_str(), FileDisposition::kReadExisting));
  EXPECT_NE(again.get(), nullptr);
}

}  // namespace
}  // namespace kt::platform
