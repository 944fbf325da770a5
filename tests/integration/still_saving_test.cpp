// Saving the current frame through the C interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../output/image_decoding.h"
#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/codes.h"
#include "support/test_support.h"

namespace {

// Codes at both ends of the sensor's 14 bits and of the surface's 16, each
// in every picture row and column, and a flipped picture differs from this
// one. A device may send any of them; the raw surface keeps them all.
class CodeExtremesScene final : public kt::sim::FrameGenerator {
 public:
  static uint16_t At(int row, int col) {
    static constexpr uint16_t kCodes[] = {0, 0x3FFF, 0x8000, 0xFFFF};
    return kCodes[(row + col) % 4];
  }
  void Render(const kt::sim::SceneState&, uint16_t* pixels) const override {
    for (int row = 0; row < kt::sim::kFrameHeight; ++row) {
      for (int col = 0; col < kt::sim::kFrameWidth; ++col)
        pixels[row * kt::sim::kFrameWidth + col] = At(row, col);
    }
  }
};

class StillSavingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    id_ = KolThermo_Initialize(nullptr);
    ASSERT_NE(0, id_);
    Codes();
  }
  void TearDown() override { KolThermo_Release(id_); }
  std::vector<int> Codes() { return kt::test::DrainCodes(id_); }
  int Save(const std::string& name, int format) {
    const std::u16string path = dir_.Wide(name);
    return KolThermo_SaveW(id_, reinterpret_cast<const KolThermoWChar*>(path.c_str()), format);
  }
  uintmax_t Size(const std::string& name) {
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(dir_.Path(name), ec);
    return ec ? 0 : size;
  }

  kt::sim::ScopedSimDriver sim_;
  std::shared_ptr<kt::sim::SimCamera> camera_;
  kt::test::TempDir dir_;
  int id_ = 0;
};

TEST_F(StillSavingTest, NothingToSaveBeforeAcquisition) {
  EXPECT_EQ(0, Save("early.bmp", 0));
  EXPECT_EQ(0, Save("early.bmp", 14));  // the frame check comes first
  EXPECT_EQ((std::vector<int>{1, 1}), Codes());
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("early.bmp")));
}

TEST_F(StillSavingTest, FormatsAndSizes) {
  ASSERT_NE(0, KolThermo_OneShot(id_));
  Codes();
  EXPECT_EQ(1, Save("colour.bmp", 0));
  EXPECT_EQ(331830u, Size("colour.bmp"));
  const auto bmp = kt::test::ReadFileBytes(dir_.Path("colour.bmp"));
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ('B', bmp[0]);
  EXPECT_EQ('M', bmp[1]);
  EXPECT_EQ(54, bmp[10]);
  EXPECT_EQ(1, Save("colour.dump", 1));
  EXPECT_EQ(331776u, Size("colour.dump"));
  EXPECT_EQ(1, Save("raw.dump", 7));
  EXPECT_EQ(221184u, Size("raw.dump"));
  EXPECT_EQ(1, Save("map8.bin", 10));
  EXPECT_EQ(110592u, Size("map8.bin"));
  EXPECT_EQ(1, Save("mapf.bin", 13));
  EXPECT_EQ(442368u, Size("mapf.bin"));
  EXPECT_TRUE(Codes().empty());
  // The narrow form writes the same file.
  const std::string narrow = (dir_.path() / "narrow.bmp").string();
  EXPECT_EQ(1, KolThermo_SaveA(id_, narrow.c_str(), 0));
  EXPECT_EQ(bmp, kt::test::ReadFileBytes(dir_.Path("narrow.bmp")));
}

TEST_F(StillSavingTest, RefusedFormatsAndPaths) {
  ASSERT_NE(0, KolThermo_OneShot(id_));
  Codes();
  EXPECT_EQ(0, Save("x.bin", 14));
  EXPECT_EQ(0, Save("x.bin", -1));
  EXPECT_EQ((std::vector<int>{5, 5}), Codes());
  EXPECT_EQ(0, Save("missing/dir/x.bmp", 0));
  EXPECT_EQ(0, KolThermo_SaveW(id_, nullptr, 0));
  EXPECT_EQ((std::vector<int>{9, 9}), Codes());
  // A writer's failure is reported as every other failed save.
  for (int format : {2, 5, 6, 8, 9}) EXPECT_EQ(0, Save("missing/dir/x", format)) << format;
  EXPECT_EQ(std::vector<int>(5, 9), Codes());
}

// Each encoded format read back and compared with the BMP (colour) or the
// dump (raw codes) of the same frame.
TEST_F(StillSavingTest, EncodedFormatsHoldTheFrame) {
  ASSERT_NE(0, KolThermo_OneShot(id_));
  Codes();
  ASSERT_EQ(1, Save("frame.bmp", 0));
  ASSERT_EQ(1, Save("raw.dump", 7));
  for (int format : {2, 3, 4}) ASSERT_EQ(1, Save("q" + std::to_string(format) + ".jpg", format));
  ASSERT_EQ(1, Save("colour.png", 5));
  ASSERT_EQ(1, Save("colour.tif", 6));
  EXPECT_TRUE(Codes().empty());
  const auto bmp = kt::test::ReadFileBytes(dir_.Path("frame.bmp"));
  ASSERT_EQ(331830u, bmp.size());
  // Picture row r, column x: stored row 287 - r.
  auto colour = [&](int r, int x, int channel) {
    return bmp[54 + (287 - r) * 1152 + 3 * x + (2 - channel)];
  };

  for (const char* name : {"colour.png", "colour.tif"}) {
    const auto image = std::string(name).ends_with(".png") ? kt::test::DecodePng(dir_.Path(name))
                                                           : kt::test::DecodeTiff(dir_.Path(name));
    ASSERT_TRUE(image.ok) << name;
    ASSERT_EQ(384, image.width);
    ASSERT_EQ(288, image.height);
    ASSERT_EQ(3, image.channels);
    int mismatches = 0;
    for (int r = 0; r < 288; ++r) {
      for (int x = 0; x < 384; ++x) {
        for (int c = 0; c < 3; ++c) mismatches += image.at(r, x)[c] != colour(r, x, c);
      }
    }
    EXPECT_EQ(0, mismatches) << name;
  }
  for (int format : {2, 3, 4}) {
    const auto jpeg = kt::test::DecodeJpeg(dir_.Path("q" + std::to_string(format) + ".jpg"));
    ASSERT_TRUE(jpeg.ok);
    EXPECT_TRUE(jpeg.progressive);
    ASSERT_EQ(384, jpeg.width);
    ASSERT_EQ(288, jpeg.height);
    ASSERT_EQ(3, jpeg.channels);
    // Lossy: the mean difference stays small, which a flipped or colour
    // swapped picture would not.
    double total = 0;
    for (int r = 0; r < 288; ++r) {
      for (int x = 0; x < 384; ++x) {
        for (int c = 0; c < 3; ++c) total += std::abs(jpeg.at(r, x)[c] - colour(r, x, c));
      }
    }
    EXPECT_LT(total / (288.0 * 384 * 3), format == 4 ? 6.0 : 3.0) << format;
  }
}

// Formats 8 and 9 on a frame that holds every code 0..16383: each sample read
// back is the code of the same pixel in the raw dump, shifted left by 2.
TEST_F(StillSavingTest, RawStillsKeepEveryCode) {
  camera_->SetScene(kt::sim::MakeAllCodesScene());
  ASSERT_NE(0, KolThermo_OneShot(id_));
  ASSERT_EQ(1, Save("raw.dump", 7));
  ASSERT_EQ(1, Save("raw.png", 8));
  ASSERT_EQ(1, Save("raw.tif", 9));
  const auto dump = kt::test::ReadFileBytes(dir_.Path("raw.dump"));
  const auto png = kt::test::DecodePng(dir_.Path("raw.png"));
  const auto tiff = kt::test::DecodeTiff(dir_.Path("raw.tif"));
  ASSERT_EQ(221184u, dump.size());
  ASSERT_TRUE(png.ok && tiff.ok);
  EXPECT_EQ(16, png.bit_depth);
  EXPECT_EQ(0, png.colour_type);
  EXPECT_EQ(14, png.significant_bits);
  EXPECT_EQ(16, tiff.bit_depth);
  EXPECT_EQ(1, tiff.channels);
  std::vector<bool> seen(16384, false);
  int mismatches = 0;
  for (int r = 0; r < 288; ++r) {
    for (int x = 0; x < 384; ++x) {
      // Picture row r is stored row 287 - r.
      const size_t at = static_cast<size_t>((287 - r) * 768 + 2 * x);
      const int code = dump[at] | (dump[at + 1] << 8);
      const int from_png = (png.at(r, x)[0] << 8) | png.at(r, x)[1];
      uint16_t from_tiff = 0;
      std::memcpy(&from_tiff, tiff.at(r, x), 2);
      mismatches += from_png != code << 2;
      mismatches += from_tiff != code << 2;
      if (code < 16384) seen[static_cast<size_t>(code)] = true;
    }
  }
  EXPECT_EQ(0, mismatches);
  EXPECT_EQ(16384, std::count(seen.begin(), seen.end(), true));
}

// The save copies the frame's raw surface before writing it; the copy and the
// dump (plain and mirrored) keep every bit of every code.
TEST_F(StillSavingTest, RawDumpKeepsEveryBitOfTheCodes) {
  sim_.driver().camera(0)->SetScene(std::make_shared<CodeExtremesScene>());
  ASSERT_NE(0, KolThermo_OneShot(id_));
  ASSERT_EQ(1, Save("raw.dump", 7));
  ASSERT_NE(0, KolThermo_SetParam(id_, 18, 1));
  ASSERT_EQ(1, Save("mirrored.dump", 7));
  Codes();
  for (const auto& [name, mirrored] : {std::pair{"raw.dump", false}, {"mirrored.dump", true}}) {
    const auto dump = kt::test::ReadFileBytes(dir_.Path(name));
    ASSERT_EQ(221184u, dump.size()) << name;
    int mismatches = 0;
    for (int line = 0; line < 288; ++line) {
      // Plain dumps start at stored row 0, the picture's bottom row.
      const int row = mirrored ? line : 287 - line;
      for (int x = 0; x < 384; ++x) {
        const size_t at = static_cast<size_t>(line * 768 + 2 * x);
        mismatches += (dump[at] | (dump[at + 1] << 8)) != CodeExtremesScene::At(row, x);
      }
    }
    EXPECT_EQ(0, mismatches) << name;
  }
}

TEST_F(StillSavingTest, MirroredEncodedFormatsStartAtTheBottomRow) {
  ASSERT_NE(0, KolThermo_OneShot(id_));
  ASSERT_NE(0, KolThermo_SetParam(id_, 18, 1));
  Codes();
  ASSERT_EQ(1, Save("raw.dump", 7));  // mirrored: last stored row first
  ASSERT_EQ(1, Save("raw.png", 8));   // mirrored: stored row 0 first
  const auto dump = kt::test::ReadFileBytes(dir_.Path("raw.dump"));
  const auto png = kt::test::DecodePng(dir_.Path("raw.png"));
  ASSERT_EQ(221184u, dump.size());
  ASSERT_TRUE(png.ok);
  for (int x = 0; x < 384; x += 37) {
    const size_t at = static_cast<size_t>(287 * 768 + 2 * x);  // stored row 0
    const auto scaled = static_cast<uint16_t>((dump[at] | (dump[at + 1] << 8)) << 2);
    EXPECT_EQ(scaled >> 8, png.at(0, x)[0]) << x;
    EXPECT_EQ(scaled & 0xFF, png.at(0, x)[1]) << x;
  }
}

}  // namespace
