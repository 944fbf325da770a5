// Checks of finished camera-sized AVI files (384 x 288, 24 bits), shared by
// the recording tests: our own reading of sizes, counts and index, and
// ffprobe's independent one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ffprobe.h"

namespace kt::test {

inline constexpr uint32_t kCameraVideoChunk = 384 * 288 * 3 + 8;

inline uint32_t AviWordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value = 0xDEADBEEF;
  if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

// A finished AVI: sizes, counts and index agree with each other and with the
// file length, and nothing follows the index. Returns the frame count.
inline uint32_t ExpectFinishedAvi(const std::vector<uint8_t>& file, const std::string& name) {
  EXPECT_GE(file.size(), 240u) << name;
  if (file.size() < 240) return 0;
  const uint32_t frames = AviWordAt(file, 48);
  const uint32_t chunk = kCameraVideoChunk;
  EXPECT_EQ(frames, AviWordAt(file, 140)) << name;
  EXPECT_EQ(file.size(), 232u + uint64_t{frames} * chunk + 8 + 16u * frames) << name;
  EXPECT_EQ(AviWordAt(file, 4), file.size() - 8) << name;
  EXPECT_EQ(AviWordAt(file, 224), 4 + frames * chunk) << name;
  const size_t index = 232 + size_t{frames} * chunk;
  EXPECT_TRUE(index + 8 <= file.size() && std::memcmp(file.data() + index, "idx1", 4) == 0) << name;
  EXPECT_EQ(AviWordAt(file, index + 4), 16u * frames) << name;
  for (uint32_t i = 0; i < frames && index + 24 + 16 * i <= file.size(); ++i) {
    EXPECT_EQ(4 + i * chunk, AviWordAt(file, index + 16 + 16 * i)) << name << " entry " << i;
  }
  return frames;
}

// ffprobe decodes exactly `frames` camera-sized BGR frames, without complaint.
inline void ExpectProbedCameraVideo(const std::filesystem::path& file, long frames) {
  ProbedVideo video;
  std::string error;
  ASSERT_TRUE(ProbeVideo(file, &video, &error)) << error;
  EXPECT_EQ(frames, video.frames) << file;
  EXPECT_EQ(384, video.width);
  EXPECT_EQ(288, video.height);
  EXPECT_EQ("rawvideo", video.codec);
  EXPECT_EQ("bgr24", video.pixel_format);
  EXPECT_EQ("", video.complaints) << file;
}

}  // namespace kt::test
