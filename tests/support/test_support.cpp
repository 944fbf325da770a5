#include "support/test_support.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>

namespace kt::test {
namespace {

std::atomic<unsigned> g_counter{0};

}  // namespace

TempDir::TempDir() {
  std::random_device rd;
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    path_ = std::filesystem::temp_directory_path() /
            ("kolthermo-test-" + std::to_string(rd()) + "-" + std::to_string(stamp) + "-" +
             std::to_string(g_counter++));
    std::error_code ec;
    if (std::filesystem::create_directory(path_, ec)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path Utf8Path(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::filesystem::path TempDir::Path(const std::string& name) const {
  return path_ / Utf8Path(name);
}

std::u16string TempDir::Wide(const std::string& name) const {
  return (path_ / Utf8Path(name)).u16string();
}

std::u16string U16(const std::string& utf8) { return Utf8Path(utf8).u16string(); }

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kt::test
