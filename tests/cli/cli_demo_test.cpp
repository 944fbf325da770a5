// kolthermo demo: the README's walk-through writes every file it promises and
// measures the simulated scene's known temperatures.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../output/image_decoding.h"
#include "cli/cli_process.h"
#include "support/test_support.h"

namespace kt::test {
namespace {

using ::testing::HasSubstr;

// The number printed after `label` ("maximum     90.2 °C").
double PrintedTemperature(const std::string& output, const std::string& label) {
  for (size_t at = output.find(label); at != std::string::npos; at = output.find(label, at + 1)) {
    const char* number = output.c_str() + at + label.size();
    if (*number != ' ') continue;
    char* end = nullptr;
    const double value = std::strtod(number, &end);
    if (end != number && std::strncmp(end, " °C", std::strlen(" °C")) == 0) return value;
  }
  ADD_FAILURE() << "no '" << label << "' in\n" << output;
  return -999.0;
}

// The mean 16-bit sample of picture columns left..right - 1, rows top..bottom - 1.
struct Area {
  int left, top, right, bottom;
};
double MeanSample(const DecodedImage& image, const Area& area) {
  double sum = 0.0;
  for (int row = area.top; row < area.bottom; ++row) {
    for (int column = area.left; column < area.right; ++column) {
      uint16_t sample = 0;
      std::memcpy(&sample, image.at(row, column), 2);
      sum += sample;
    }
  }
  return sum / ((area.right - area.left) * (area.bottom - area.top));
}

TEST(CliDemo, WritesEveryFileAndMeasuresTheScene) {
  TempDir dir;
  const CliRun run =
      RunCli({"demo", "--output", "out", "--seconds", "1", "--video-frames", "4"}, dir.path());
  ASSERT_EQ(run.exit_status, 0) << run.output;

  const auto png = ReadFileBytes(dir.Path("out/scene.png"));
  EXPECT_TRUE(png.size() > 8 && std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8) == 0);
  const auto tiff = ReadFileBytes(dir.Path("out/scene-raw.tiff"));
  EXPECT_TRUE(tiff.size() > 4 && std::memcmp(tiff.data(), "II*\0", 4) == 0);
  // Raw codes rise with temperature, and so must the stored samples: the
  // 90-degree mug above the 5-degree cold pack (above the rows the walking
  // person can cover).
  const DecodedImage raw = DecodeTiff(dir.Path("out/scene-raw.tiff"));
  ASSERT_TRUE(raw.ok);
  ASSERT_EQ(raw.bit_depth, 16);
  EXPECT_GT(MeanSample(raw, {284, 172, 314, 222}), MeanSample(raw, {28, 32, 80, 54}));
  EXPECT_EQ(ReadFileBytes(dir.Path("out/scene-temperature.f32")).size(), 384u * 288u * 4u);
  const auto avi = ReadFileBytes(dir.Path("out/scene.avi"));
  ASSERT_GT(avi.size(), 64u);
  EXPECT_EQ(std::memcmp(avi.data(), "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(avi.data() + 8, "AVI ", 4), 0);
  EXPECT_FALSE(ReadFileBytes(dir.Path("out/calibration-4000.bin")).empty());
  for (const char* name : {"scene.png", "scene-raw.tiff", "scene-temperature.f32", "scene.avi"}) {
    EXPECT_THAT(run.output, HasSubstr(name));
  }

  // The scene: a cold pack at 5 degrees, a mug at 90, a wall near 22 and a
  // person (30 to 34) who may stand at the centre. Noise allows a little.
  const double minimum = PrintedTemperature(run.output, "minimum");
  const double maximum = PrintedTemperature(run.output, "maximum");
  const double centre = PrintedTemperature(run.output, "centre");
  const double mug = PrintedTemperature(run.output, "mug mean");
  EXPECT_NEAR(minimum, 5.0, 1.5);
  EXPECT_NEAR(maximum, 90.0, 2.0);
  EXPECT_NEAR(mug, 90.0, 0.5);
  EXPECT_GT(centre, 20.0);
  EXPECT_LT(centre, 35.0);
}

TEST(CliDemo, CtrlCDuringThePreviewExits130) {
  TempDir dir;
  const CliRun run =
      InterruptCli({"demo", "--output", "out", "--seconds", "30"}, dir.path(), "preview: 0%");
  EXPECT_EQ(run.exit_status, 130) << run.output;
  EXPECT_FALSE(std::filesystem::exists(dir.Path("out/scene.avi")));
}

}  // namespace
}  // namespace kt::test
