// Saving the current frame through the C interface.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/sim_driver.h"
#include "support/codes.h"
#include "support/test_support.h"

namespace {

class StillSavingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.driver().Attach(0);
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
  // The compressed formats are not part of this build yet.
  EXPECT_EQ(0, Save("x.jpg", 2));
  EXPECT_EQ(std::vector<int>{10}, Codes());
}

}  // namespace
