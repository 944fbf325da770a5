// Helpers shared by the test suites.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kt::test {

// A fresh directory under the system's temporary directory, removed with its
// contents when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // A path inside the directory, as UTF-16 (the library's wide strings).
  std::u16string Wide(const std::string& name) const;
  std::filesystem::path Path(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// A filesystem path from UTF-8 text.
std::filesystem::path Utf8Path(const std::string& utf8);

// UTF-8 to UTF-16 for test literals.
std::u16string U16(const std::string& utf8);

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Writes a whole file, replacing it.
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace kt::test
