// One frame, every temperature output: for a calibration table of each layout,
// still formats 10 to 13 and a temperature recording give the temperatures that
// KolThermo_GetTemperature gives, each integer format as its clamp and
// truncation of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../thermal/table_files.h"
#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/host_window_probe.h"
#include "support/test_support.h"
#include "thermal/thermo_table.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr size_t kPixels = kWidth * kHeight;

struct Layout {
  std::string name;
  std::vector<uint8_t> file;
};

// Direct tables get a raw-code column that is no use for interpolation (it
// runs downwards and leaves the codes behind), as the format allows; the
// others get real samples.
std::vector<Layout> Layouts() {
  using namespace kt::test;
  return {
      {"headerless", HeaderlessFile(Ramp(1000, 5, 2000))},
      {"1000", DirectFile(1, DirectPoints(16384))},
      {"2000", SubTableFile({DirectPoints(12000), Ramp(0, 1, 100)})},
      {"3000", DirectFile(3, DirectPoints(9000))},
      {"4000", DriftFile(35.0f, 0.01f, 2.0f, Ramp(1000, 5, 2000))},
  };
}

template <typename T>
std::vector<T> ReadSamples(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = kt::test::ReadFileBytes(path);
  std::vector<T> samples(bytes.size() / sizeof(T));
  if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(T));
  return samples;
}

class TemperatureOutputsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    camera_ = sim_.driver().Attach(0);
    // Every code 0..16383, the same in every frame; a fixed internal
    // temperature keeps the 4000 table's compensation where its load put it.
    camera_->SetScene(kt::sim::MakeAllCodesScene());
    camera_->SetInternalTemperature(30.0f);
  }

  std::u16string Path(const std::string& name) const { return dir_.Wide(name); }
  static const KolThermoWChar* C(const std::u16string& path) {
    return reinterpret_cast<const KolThermoWChar*>(path.c_str());
  }

  kt::sim::ScopedSimDriver sim_;
  std::shared_ptr<kt::sim::SimCamera> camera_;
  kt::test::HostWindowProbe window_;
  kt::test::TempDir dir_;
};

TEST_F(TemperatureOutputsTest, EveryOutputOfAFrameAgreesWithGetTemperature) {
  for (const Layout& layout : Layouts()) {
    SCOPED_TRACE(layout.name);
    const std::string table = layout.name + ".tbl";
    kt::test::WriteFileBytes(dir_.Path(table), layout.file);
    const int id = KolThermo_Initialize(static_cast<KolThermoHWND>(window_.handle()));
    ASSERT_NE(0, id);
    KolThermo_SetParam(id, 10, -1);  // no NUC hold: every frame is published
    KolThermo_SetParam(id, 17, 1);   // fetches top row first, as the files
    ASSERT_EQ(1, KolThermo_SetTableW(id, C(Path(table))));

    const std::string recording = layout.name + ".rec";
    ASSERT_EQ(1, KolThermo_RecW(id, C(Path(recording)), 3));
    ASSERT_EQ(1, KolThermo_Preview(id));
    window_.Drain();
    for (int i = 0; i < 3; ++i) ASSERT_NE(0, window_.NextFrame());
    KolThermo_Close(id);
    ASSERT_EQ(1, KolThermo_RecW(id, C(Path(recording)), 0));

    const int frame = KolThermo_OneShot(id);
    ASSERT_NE(0, frame);
    std::vector<float> truth(kPixels);
    ASSERT_EQ(1, KolThermo_GetTemperature(id, frame, truth.data(),
                                          static_cast<unsigned>(truth.size() * sizeof(float))));
    for (int format = 10; format <= 13; ++format) {
      const std::u16string path = Path(layout.name + "." + std::to_string(format));
      ASSERT_EQ(1, KolThermo_SaveW(id, C(path), format)) << format;
    }
    KolThermo_Release(id);

    const auto read = [&](int format) {
      return dir_.Path(layout.name + "." + std::to_string(format));
    };
    const auto int8s = ReadSamples<int8_t>(read(10));
    const auto uint8s = ReadSamples<uint8_t>(read(11));
    const auto int32s = ReadSamples<int32_t>(read(12));
    const auto floats = ReadSamples<float>(read(13));
    const auto recorded = ReadSamples<float>(dir_.Path(recording));
    ASSERT_EQ(kPixels, int8s.size());
    ASSERT_EQ(kPixels, uint8s.size());
    ASSERT_EQ(kPixels, int32s.size());
    ASSERT_EQ(kPixels, floats.size());
    ASSERT_GE(recorded.size(), kPixels);
    ASSERT_EQ(0u, recorded.size() % kPixels);

    int with_temperature = 0;
    int mismatches[5] = {};
    for (size_t p = 0; p < kPixels; ++p) {
      const float t = truth[p];
      with_temperature += t != kt::kNoTemperature;
      mismatches[0] += int8s[p] != kt::ClampToInt8(t);
      mismatches[1] += uint8s[p] != kt::ClampToUInt8(t);
      mismatches[2] += int32s[p] != kt::TruncateToInt32(t);
      // Format 13 writes the bottom row first.
      const size_t row = p / kWidth;
      const size_t flipped = (kHeight - 1 - row) * kWidth + p % kWidth;
      mismatches[3] += floats[flipped] != t;
      for (size_t at = p; at < recorded.size(); at += kPixels) mismatches[4] += recorded[at] != t;
    }
    EXPECT_GT(with_temperature, static_cast<int>(kPixels / 4));
    EXPECT_EQ(0, mismatches[0]) << "format 10";
    EXPECT_EQ(0, mismatches[1]) << "format 11";
    EXPECT_EQ(0, mismatches[2]) << "format 12";
    EXPECT_EQ(0, mismatches[3]) << "format 13";
    EXPECT_EQ(0, mismatches[4]) << "recording";
  }
}

}  // namespace
