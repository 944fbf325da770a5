// Readers converting frames while another thread loads tables and compensates:
// every frame comes from one table, never a mix.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "imaging/dib_surface.h"
#include "table_files.h"

namespace kt {
namespace {

using test::DirectFile;
using test::DriftFile;
using test::HeaderlessFile;
using test::Load;

std::vector<CalibrationPoint> Constant(float degrees, int32_t count) {
  return std::vector<CalibrationPoint>(static_cast<size_t>(count), CalibrationPoint{0, degrees});
}

TEST(ThermoTableConcurrency, ReadersSeeWholeTablesWhileTablesChange) {
  // Three tables, each one temperature across its whole range.
  const auto direct_a = DirectFile(1, Constant(20.0f, kCalibratedCodes));
  const auto direct_b = DirectFile(3, Constant(30.0f, kCalibratedCodes));
  const auto drift = DriftFile(25.0f, 0.0f, 1.0f, {{-10, 40.0f}, {70000, 40.0f}});
  const auto headerless = HeaderlessFile({{-10, 50.0f}, {70000, 50.0f}});

  std::atomic<float> recorded{20.0f};
  CThermoTable table;
  table.SetRecordedTemperatureSource(&recorded);
  table.SelectActiveList(CThermoTable::ActiveList::kCompensated);
  ASSERT_EQ(Load(table, direct_a), 1);

  CDibSurface frame;
  ASSERT_EQ(frame.CreateInMemory(384, 288, 16), 1);
  for (int r = 0; r < 288; ++r) {
    for (int c = 0; c < 384; ++c) {
      const auto code = static_cast<uint16_t>((r * 384 + c) % 16384);
      std::memcpy(frame.pixels() + r * frame.stride() + c * 2, &code, 2);
    }
  }

  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  auto reader = [&](bool floats) {
    std::vector<float> f(384 * 288);
    std::vector<int32_t> i(384 * 288);
    while (!stop.load()) {
      if (floats) {
        table.ConvertToFloat(frame, f.data(), RowOrder::kBottomUp);
        for (float t : f) torn += t != f[0] ? 1 : 0;
      } else {
        table.ConvertToInt32(frame, i.data(), RowOrder::kBottomUp);
        for (int32_t t : i) torn += t != i[0] ? 1 : 0;
      }
      (void)table.LookupTemperature(1000);
      (void)table.Interpolate(-5);
    }
  };
  std::vector<std::thread> readers;
  for (int n = 0; n < 3; ++n) readers.emplace_back(reader, n % 2 == 0);
  std::thread compensator([&] {
    for (int n = 0; n < 150; ++n) {
      recorded = 20.0f + static_cast<float>(n % 7);
      (void)table.Compensate();
    }
  });
  for (int n = 0; n < 60; ++n) {
    EXPECT_EQ(Load(table, n % 4 == 0   ? direct_a
                          : n % 4 == 1 ? drift
                          : n % 4 == 2 ? headerless
                                       : direct_b),
              1);
  }
  compensator.join();
  stop = true;
  for (auto& thread : readers) thread.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace kt
