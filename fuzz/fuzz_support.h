// Helpers shared by the fuzz targets: reading the fuzzer's bytes as
// operations and values, failing loudly on a broken property, and a scratch
// directory for targets that write files.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kt::fuzz {

// A broken property: stop here so that libFuzzer keeps the input.
inline void Expect(bool condition) {
  if (!condition) __builtin_trap();
}

// Reads the input a byte at a time; zeros once it runs out.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool more() const { return at_ < size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return value;
  }
  // A small signed number in [low, low + span).
  int32_t Small(int32_t low, int32_t span) { return low + static_cast<int32_t>(Byte() % span); }
  // The rest of the input, repeated to fill `out` (zeros for no input).
  void Fill(uint8_t* out, size_t count) {
    const size_t left = size_ - at_;
    for (size_t i = 0; i < count; ++i) out[i] = left == 0 ? 0 : data_[at_ + i % left];
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// One scratch directory per process, removed when the process ends (the
// targets remove their files after every input).
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    static char name[] = "/tmp/kolthermo-fuzz-XXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr) __builtin_trap();
    atexit([] { rmdir(name); });
    return std::string(made);
  }();
  return folder;
}

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    uint8_t buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::fclose(file);
  }
  return bytes;
}

}  // namespace kt::fuzz
