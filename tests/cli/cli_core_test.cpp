// The tool's own logic, in process: option parsing and the temperature
// figures with their bottom-first row order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "frame_stats.h"
#include "options.h"
#include "recording_run.h"
#include "still_formats.h"
#include "thermography_options.h"

namespace kt::cli {
namespace {

constexpr std::array kSpecs{OptionSpec{"--count", "N", ""}, OptionSpec{"--seconds", "S", ""},
                            OptionSpec{"--quiet", "", ""}};

ParsedOptions Parse(std::vector<const char*> words) {
  std::vector<char*> args;
  for (const char* word : words) args.push_back(const_cast<char*>(word));
  return ParseOptions(args, kSpecs);
}

TEST(CliOptions, AcceptsBothSpellingsAndChecksRanges) {
  EXPECT_EQ(Parse({"--count", "7"}).Int("--count", 1, 9, 1), 7);
  EXPECT_EQ(Parse({"--count=8"}).Int("--count", 1, 9, 1), 8);
  EXPECT_EQ(Parse({}).Int("--count", 1, 9, 3), 3);
  EXPECT_DOUBLE_EQ(*Parse({"--seconds=0.25"}).Seconds("--seconds", 10), 0.25);
  EXPECT_TRUE(Parse({"--quiet", "-h"}).Has("--help"));

  EXPECT_THROW(Parse({"--count", "10"}).Int("--count", 1, 9, 1), UsageError);
  EXPECT_THROW(Parse({"--count", ""}).Int("--count", 1, 9, 1), UsageError);
  EXPECT_THROW(Parse({"--seconds", "0"}).Seconds("--seconds", 10), UsageError);
  EXPECT_THROW(Parse({"--seconds", "nan"}).Seconds("--seconds", 10), UsageError);
  EXPECT_THROW(Parse({"--count"}), UsageError);       // value missing
  EXPECT_THROW(Parse({"--quiet=1"}), UsageError);     // a flag takes no value
  EXPECT_THROW(Parse({"--cuont", "1"}), UsageError);  // typo
  EXPECT_THROW(Parse({"stray"}), UsageError);
  // Negative values are values, not options; a repeated option keeps its last.
  EXPECT_EQ(Parse({"--count", "-3"}).Int("--count", -5, 9, 1), -3);
  EXPECT_EQ(Parse({"--count", "2", "--count=4"}).Int("--count", 1, 9, 1), 4);
}

TEST(CliOutputChoice, TheExtensionChoosesUnlessFormatSaysOtherwise) {
  using Name = std::optional<std::string>;
  struct Case {
    Name format, output;
    const char* chosen;  // nullptr: refused
  };
  const Case stills[] = {
      {{}, {}, "bmp"},
      {{}, "x.png", "png"},
      {{}, "dir.d/X.JPEG", "jpeg"},
      {{}, "x.tif", "tiff"},  // the radiometric TIFFs need --format
      {{}, "x.csv", "celsius-csv"},
      {{}, "x.dat", "bmp"},
      {{}, ".png", "bmp"},  // a hidden file, no extension
      {"raw-png", "x.png", "raw-png"},
      {"celsius-tiff", "x.tif", "celsius-tiff"},
      {"raw16-tiff", "x.tiff", "raw16-tiff"},
      {"jpeg20", "x.jpeg", "jpeg20"},
      {"temp-f32", "x.dat", "temp-f32"},
      {"bmp", "x.png", nullptr},
      {"celsius-tiff", "x.csv", nullptr},
      {"celsius-csv", "x.f32", nullptr},
      {"gif", "x.gif", nullptr},
  };
  for (const Case& c : stills) {
    const std::string label = c.format.value_or("-") + " " + c.output.value_or("-");
    if (c.chosen == nullptr) {
      EXPECT_THROW(ChooseStillFormat(c.format, c.output), UsageError) << label;
    } else {
      EXPECT_EQ(ChooseStillFormat(c.format, c.output).name, c.chosen) << label;
    }
  }
  EXPECT_EQ(ChooseRecordingMode({}, "x.TIFF"), kRecordCelsiusTiff);
  EXPECT_EQ(ChooseRecordingMode({}, "x.raw"), KOLTHERMO_RECORD_RAW);
  EXPECT_EQ(ChooseRecordingMode({}, "x.bin"), KOLTHERMO_RECORD_VIDEO);
  EXPECT_EQ(ChooseRecordingMode("temperature", "x.f32"), KOLTHERMO_RECORD_TEMPERATURE);
  EXPECT_THROW(ChooseRecordingMode("video", "x.raw"), UsageError);
  EXPECT_THROW(ChooseRecordingMode("mpeg", {}), UsageError);
}

TEST(CliThermographyValues, ParsesRangesIsothermsSpotsAndBoxes) {
  KolThermoColorOptions colours{};
  ParseRange("-20.5:40", &colours);
  EXPECT_EQ(colours.range, KOLTHERMO_RANGE_MANUAL);
  EXPECT_EQ(colours.low_c, -20.5f);
  EXPECT_EQ(colours.high_c, 40.0f);
  ParseIsotherm("below:-5", &colours);
  EXPECT_EQ(colours.isotherm, KOLTHERMO_ISOTHERM_BELOW);
  EXPECT_EQ(colours.iso_high_c, -5.0f);
  ParseIsotherm("30:35", &colours);
  EXPECT_EQ(colours.isotherm, KOLTHERMO_ISOTHERM_BETWEEN);
  const KolThermoRegion spot = ParseSpot("10,20", 384, 288).region;
  EXPECT_EQ(spot.radius, kDefaultSpotRadius);
  EXPECT_EQ(ParseBox("0,0,384,288", 384, 288).label, "box 0,0 384x288");

  for (const char* bad : {"", "auto:", "40:20", "5:5", "1:nan", "-200:0", "0:600", "low:high"}) {
    EXPECT_THROW(ParseRange(bad, &colours), UsageError) << bad;
    EXPECT_THROW(ParseIsotherm(bad, &colours), UsageError) << bad;
  }
  for (const char* bad : {"1", "1,2,3,4", "0,5", "5,287", "10,10,-1", "10,10,51", "a,b", "5,5,",
                          "-2147483648,5,1", "2147483647,5,1"}) {
    EXPECT_THROW(ParseSpot(bad, 384, 288), UsageError) << bad;
  }
  for (const char* bad : {"0,0,385,1", "0,0,1,0", "-1,0,2,2", "383,0,2,1", "0,0,2147483647,1"}) {
    EXPECT_THROW(ParseBox(bad, 384, 288), UsageError) << bad;
  }
}

TEST(CliFrameStats, ReadsPictureCoordinatesFromBottomFirstRows) {
  // 4 x 3 picture; buffer row 0 is the picture's bottom row.
  std::vector<float> t(12, 20.0f);
  t[2 * 4 + 1] = 90.0f;  // picture (1, 0): top row
  t[0 * 4 + 3] = 5.0f;   // picture (3, 2): bottom row
  t[1 * 4 + 2] = 30.0f;  // picture (2, 1): the centre
  t[1 * 4 + 0] = -999.0f;
  const auto stats = ComputeFrameStats(t, 4, 3);
  ASSERT_TRUE(stats);
  EXPECT_EQ(stats->min, 5.0f);
  EXPECT_EQ(stats->max, 90.0f);
  EXPECT_EQ(stats->centre, 30.0f);
  EXPECT_EQ(*RegionMean(t, 4, 3, {1, 0, 2, 1}), 90.0f);
  // Pixels without a temperature are left out; a region off the picture is cut.
  EXPECT_EQ(*RegionMean(t, 4, 3, {-5, 1, 2, 2}), 20.0f);
  EXPECT_FALSE(RegionMean(t, 4, 3, {0, 1, 1, 2}));
  EXPECT_FALSE(ComputeFrameStats(std::vector<float>(12, -999.0f), 4, 3));
  EXPECT_FALSE(ComputeFrameStats(t, 5, 3));  // wrong size
}

}  // namespace
}  // namespace kt::cli
