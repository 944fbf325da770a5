#include "file_report.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace kt::cli {
namespace {

// A RIFF AVI file opens with "RIFF" size "AVI " "LIST" size "hdrl" "avih"
// size; the main header follows at byte 32 and its total-frames field is its
// fifth 32-bit word.
constexpr size_t kAviHeaderBytes = 52;
constexpr size_t kAviTotalFramesOffset = 48;
// Split files are numbered upwards; far more than any split recording makes.
constexpr int kMaxSplitFiles = 100000;

uint32_t ReadLittle32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::optional<uintmax_t> FileSize(const std::filesystem::path& path) {
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return size;
}

std::string DescribeSize(uintmax_t bytes) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%ju bytes", bytes);
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%ju bytes (%.1f KiB)", bytes,
                  static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%ju bytes (%.1f MiB)", bytes,
                  static_cast<double>(bytes) / (1024.0 * 1024.0));
  }
  return text;
}

std::filesystem::path SplitFileName(const std::filesystem::path& path, int index) {
  if (index == 0) return path;
  std::filesystem::path name = path.parent_path();
  name /= path.stem().string() + "_" + std::to_string(index) + path.extension().string();
  return name;
}

std::filesystem::path NumberedFileName(const std::filesystem::path& path, int n, int count) {
  const int width = static_cast<int>(std::to_string(count).size());
  char number[32];
  std::snprintf(number, sizeof number, "_%0*d", width, n);
  std::filesystem::path name = path.parent_path();
  name /= path.stem().string() + number + path.extension().string();
  return name;
}

std::vector<std::filesystem::path> RecordingFiles(const std::filesystem::path& path,
                                                  std::filesystem::file_time_type since) {
  std::vector<std::filesystem::path> files;
  for (int index = 0; index < kMaxSplitFiles; ++index) {
    const std::filesystem::path name = SplitFileName(path, index);
    std::error_code error;
    const auto written = std::filesystem::last_write_time(name, error);
    if (error || written < since) break;
    files.push_back(name);
  }
  return files;
}

std::optional<uint32_t> AviFrameCount(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::array<unsigned char, kAviHeaderBytes> header{};
  if (!file.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
  if (std::memcmp(header.data(), "RIFF", 4) != 0 ||
      std::memcmp(header.data() + 8, "AVI ", 4) != 0 ||
      std::memcmp(header.data() + 24, "avih", 4) != 0) {
    return std::nullopt;
  }
  return ReadLittle32(header.data() + kAviTotalFramesOffset);
}

}  // namespace kt::cli
