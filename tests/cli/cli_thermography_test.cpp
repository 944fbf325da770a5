// kolthermo snap and record with the thermography options, end to end on the
// simulated camera: measurements of the scene's known objects, radiometric
// files read back with libtiff and as text, pictures in a palette.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../output/image_decoding.h"
#include "cli/cli_process.h"
#include "kolthermo/kolthermo_palette.h"
#include "kolthermo/kolthermo_thermography.h"
#include "support/test_support.h"

namespace kt::test {
namespace {

using ::testing::HasSubstr;

constexpr int kWidth = 384;
constexpr int kHeight = 288;
// The default scene, top row first: the 90-degree mug's inside and the
// 5-degree cold pack on the wall (above the rows the walking person covers).
struct Area {
  int left, top, width, height;
};
constexpr Area kMug{284, 172, 30, 50};
constexpr Area kColdPack{30, 34, 48, 18};
constexpr double kMugCelsius = 90.0;
constexpr double kColdPackCelsius = 5.0;

// The number printed right after `label`, or NaN.
double PrintedNumber(const std::string& output, const std::string& label) {
  const size_t at = output.find(label);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no '" << label << "' in\n" << output;
    return std::nan("");
  }
  return std::strtod(output.c_str() + at + label.size(), nullptr);
}

double Mean(const std::vector<double>& picture, const Area& area) {
  double sum = 0.0;
  for (int y = area.top; y < area.top + area.height; ++y) {
    for (int x = area.left; x < area.left + area.width; ++x) sum += picture[y * kWidth + x];
  }
  return sum / (area.width * area.height);
}

// A radiometric file's single picture as numbers, top row first, and its
// metadata text; empty when it cannot be read.
struct Radiometric {
  std::vector<double> values;
  std::string metadata;
};

Radiometric ReadTiffPicture(const std::filesystem::path& path) {
  Radiometric read;
  const DecodedImage image = DecodeTiff(path);
  if (!image.ok || image.width != kWidth || image.height != kHeight || image.channels != 1) {
    return read;
  }
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      if (image.bit_depth == 32) {
        float value = 0.0f;
        std::memcpy(&value, image.at(y, x), sizeof value);
        read.values.push_back(value);
      } else {
        uint16_t value = 0;
        std::memcpy(&value, image.at(y, x), sizeof value);
        read.values.push_back(value);
      }
    }
  }
  TIFF* tiff = TIFFOpen(path.string().c_str(), "r");
  char* text = nullptr;
  if (tiff != nullptr && TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &text) == 1) {
    read.metadata = text;
  }
  if (tiff != nullptr) TIFFClose(tiff);
  return read;
}

Radiometric ReadCsv(const std::filesystem::path& path) {
  Radiometric read;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.starts_with("#")) {
      read.metadata += line + "\n";
      continue;
    }
    std::istringstream row(line);
    std::string cell;
    while (std::getline(row, cell, ',')) read.values.push_back(std::strtod(cell.c_str(), nullptr));
  }
  if (read.values.size() != static_cast<size_t>(kWidth) * kHeight) read.values.clear();
  return read;
}

class CliThermography : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunCli({"table", "--layout", "4000", "--output", "t.bin"}, dir_.path()).exit_status,
              0);
  }
  CliRun Snap(std::vector<std::string> args) {
    args.insert(args.begin(), {"snap", "--table", "t.bin"});
    return RunCli(args, dir_.path());
  }
  TempDir dir_;
};

TEST_F(CliThermography, SpotAndBoxMeasureTheMugAndTheColdPack) {
  const CliRun run = Snap({"--spot", "298,196,2", "--box", "30,34,48,18", "--output", "s.png"});
  ASSERT_EQ(run.exit_status, 0) << run.output;
  EXPECT_NEAR(PrintedNumber(run.output, "spot 298,196 r2: mean "), kMugCelsius, 0.5);
  EXPECT_NEAR(PrintedNumber(run.output, "box 30,34 48x18: mean "), kColdPackCelsius, 0.5);
  const size_t box = run.output.find("box 30,34 48x18:");
  ASSERT_NE(box, std::string::npos);
  const std::string box_line = run.output.substr(box, run.output.find('\n', box) - box);
  EXPECT_NEAR(PrintedNumber(box_line, " min "), kColdPackCelsius, 2.0);
  EXPECT_THAT(box_line, HasSubstr("864 pixels"));
}

TEST_F(CliThermography, EmissivityAndReflectedCorrectThePanelOnTheWall) {
  // A 60-degree panel high on the right of the wall, reflecting the 22-degree
  // room: a painted patch (emissivity 0.95) and a polished plate (0.10) that
  // reads near the room until corrected.
  struct Case {
    const char* box;
    std::vector<std::string> correction;
    double mean, tolerance;
  };
  const Case cases[] = {
      {"340,18,32,32", {}, 26.4, 1.0},
      {"340,18,32,32", {"--emissivity", "0.10", "--reflected", "22"}, 60.0, 2.0},
      {"292,18,32,32", {"--emissivity", "0.95", "--reflected", "22"}, 60.0, 0.3},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--box", c.box, "--output", "p.png"};
    args.insert(args.end(), c.correction.begin(), c.correction.end());
    const CliRun run = Snap(args);
    ASSERT_EQ(run.exit_status, 0) << run.output;
    const std::string label = "box " + std::string(c.box).substr(0, 6) + " 32x32: mean ";
    EXPECT_NEAR(PrintedNumber(run.output, label), c.mean, c.tolerance)
        << c.box << " " << c.correction.size();
  }
}

TEST_F(CliThermography, RadiometricFilesHoldTheCorrectedSceneTopRowFirst) {
  KolThermoObjectParams object{0.95f, 20.0f, 1.0f, 20.0f};
  float corrected_mug = 0.0f;
  ASSERT_EQ(KolThermoObjectTemperature(kMugCelsius, &object, &corrected_mug), KOLTHERMO_THERMO_OK);
  struct Case {
    const char* format;
    const char* file;
    Radiometric (*read)(const std::filesystem::path&);
    bool celsius;
  };
  for (const Case& c : {Case{"celsius-tiff", "c.tiff", ReadTiffPicture, true},
                        Case{"celsius-csv", "c.csv", ReadCsv, true},
                        Case{"raw16-tiff", "r.tif", ReadTiffPicture, false}}) {
    const CliRun run = Snap(
        {"--format", c.format, "--output", c.file, "--emissivity", "0.95", "--reflected", "20"});
    ASSERT_EQ(run.exit_status, 0) << c.format << "\n" << run.output;
    const Radiometric read = c.read(dir_.Path(c.file));
    ASSERT_FALSE(read.values.empty()) << c.format;
    EXPECT_THAT(read.metadata, HasSubstr("emissivity=0.95")) << c.format;
    EXPECT_THAT(read.metadata, HasSubstr("t.bin")) << c.format;
    // Upside down, the mug's rows would hold the wall and the person.
    if (c.celsius) {
      EXPECT_NEAR(Mean(read.values, kMug), corrected_mug, 0.5) << c.format;
      EXPECT_GT(corrected_mug, kMugCelsius + 1.0);
    } else {
      EXPECT_GT(Mean(read.values, kMug), Mean(read.values, kColdPack) + 500) << c.format;
    }
  }
}

TEST_F(CliThermography, PalettePictureWithIsothermAndScaleBar) {
  const CliRun run = Snap({"--palette", "white-hot", "--range", "0:100", "--isotherm", "above:80",
                           "--scale-bar", "--output", "p.png"});
  ASSERT_EQ(run.exit_status, 0) << run.output;
  const DecodedImage png = DecodePng(dir_.Path("p.png"));
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.width, kWidth + KolThermoScaleBarWidth(kHeight));
  EXPECT_EQ(png.height, kHeight);
  ASSERT_EQ(png.channels, 3);
  const uint8_t* mug = png.at(196, 298);
  EXPECT_EQ(std::vector<int>(mug, mug + 3), (std::vector<int>{0, 255, 0}));  // the isotherm
  // White-hot over 0..100 degrees: the 5-degree pack near black, the
  // 22-degree wall (left of the mug, below the pack) a dark grey.
  const uint8_t* pack = png.at(43, 54);
  const uint8_t* wall = png.at(120, 10);
  EXPECT_EQ(pack[0], pack[2]);
  EXPECT_NEAR(pack[0], 5 * 255 / 100, 12);
  EXPECT_NEAR(wall[0], 22 * 255 / 100, 12);
}

TEST_F(CliThermography, CelsiusTiffRecordingHasAPagePerFrame) {
  const CliRun run = RunCli({"record", "--table", "t.bin", "--frames", "3", "--output", "rec.tiff",
                             "--box", "30,34,48,18"},
                            dir_.path());
  ASSERT_EQ(run.exit_status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("3 frames in 1 file"));
  EXPECT_NEAR(PrintedNumber(run.output, "box 30,34 48x18: mean "), kColdPackCelsius, 0.5);
  TIFF* tiff = TIFFOpen(dir_.Path("rec.tiff").string().c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  EXPECT_EQ(TIFFNumberOfDirectories(tiff), 3);
  uint16_t format = 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  EXPECT_EQ(format, SAMPLEFORMAT_IEEEFP);
  TIFFClose(tiff);
}

TEST_F(CliThermography, PaletteVideoHasEveryFrameWithTheScaleBar) {
  const CliRun run = RunCli({"record", "--palette", "iron", "--scale-bar", "--frames", "5",
                             "--table", "t.bin", "--output", "x.avi"},
                            dir_.path());
  ASSERT_EQ(run.exit_status, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("5 frames in 1 file"));
  // The AVI main header: frame count at byte 48, width and height at 64 and 68.
  std::ifstream file(dir_.Path("x.avi"), std::ios::binary);
  std::vector<char> header(72);
  ASSERT_TRUE(file.read(header.data(), static_cast<std::streamsize>(header.size())));
  const auto word = [&header](size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, header.data() + offset, sizeof value);
    return value;
  };
  EXPECT_EQ(std::string(header.data(), 4), "RIFF");
  EXPECT_EQ(word(48), 5u);
  EXPECT_EQ(word(64), static_cast<uint32_t>(kWidth + KolThermoScaleBarWidth(kHeight)));
  EXPECT_EQ(word(68), static_cast<uint32_t>(kHeight));
}

TEST_F(CliThermography, CtrlCLeavesACompleteCelsiusTiffRecording) {
  const CliRun run =
      InterruptCli({"record", "--table", "t.bin", "--seconds", "60", "--output", "c.tiff"},
                   dir_.path(), "recording celsius-tiff: 10%");
  EXPECT_EQ(run.exit_status, 130) << run.output;
  TIFF* tiff = TIFFOpen(dir_.Path("c.tiff").string().c_str(), "r");
  ASSERT_NE(tiff, nullptr) << run.output;
  // The pages written before the stop, each whole.
  int pages = 0;
  std::vector<float> row(kWidth);
  do {
    ++pages;
    EXPECT_EQ(TIFFReadScanline(tiff, row.data(), kHeight - 1), 1) << "page " << pages;
  } while (TIFFReadDirectory(tiff) == 1);
  TIFFClose(tiff);
  EXPECT_GT(pages, 1);
  EXPECT_THAT(run.output, HasSubstr(std::to_string(pages) + " frames in 1 file"));
}

}  // namespace
}  // namespace kt::test
