// Cost of temperature conversion over a 384 x 288 frame, and of preparing a
// 16384-point table after a load or a drift compensation (the interpolation
// sweep plus the lookup build).
#include <benchmark/benchmark.h>

#include <bit>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/dib_surface.h"
#include "thermal/thermo_table.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr int32_t kPoints = 16384;

void PutWord(std::vector<uint8_t>& bytes, uint32_t word) {
  for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<uint8_t>(word >> (8 * b)));
}

// 16384 samples, one per raw code, along a plausible radiometric slope.
std::vector<uint8_t> TableFile(bool drift) {
  std::vector<uint8_t> bytes;
  if (drift) {
    const char* magic = "KOLVEN THERMO TABLE 4000";
    bytes.assign(magic, magic + 24);
    PutWord(bytes, 0);
    PutWord(bytes, 0);
    PutWord(bytes, std::bit_cast<uint32_t>(30.0f));
    PutWord(bytes, std::bit_cast<uint32_t>(0.01f));
    PutWord(bytes, std::bit_cast<uint32_t>(2.0f));
  }
  PutWord(bytes, kPoints);
  for (int32_t m = 0; m < kPoints; ++m) {
    PutWord(bytes, static_cast<uint32_t>(m));
    PutWord(bytes, std::bit_cast<uint32_t>(-40.0f + 0.03f * static_cast<float>(m)));
  }
  return bytes;
}

kt::CDibSurface Scene() {
  kt::CDibSurface frame;
  frame.CreateInMemory(kWidth, kHeight, 16);
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0.0, 12.0);
  for (int i = 0; i < kHeight; ++i) {
    for (int j = 0; j < kWidth; ++j) {
      double code = 7000.0 + 3.0 * j;
      if (i > 80 && i < 260 && j > 150 && j < 230) code = 8200.0;
      const auto value = static_cast<uint16_t>(code + noise(random));
      std::memcpy(frame.pixels() + i * frame.stride() + j * 2, &value, 2);
    }
  }
  return frame;
}

struct Fixture {
  Fixture() {
    const auto file = TableFile(false);
    table.SelectActiveList(kt::CThermoTable::ActiveList::kCompensated);
    table.LoadFromBytes(file.data(), file.size(), 0);
  }
  kt::CThermoTable table;
  kt::CDibSurface frame = Scene();
};

void BM_ConvertToFloat(benchmark::State& state) {
  Fixture f;
  std::vector<float> out(kWidth * kHeight);
  for (auto _ : state) {
    f.table.ConvertToFloat(f.frame, out.data(), kt::RowOrder::kBottomUp);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ConvertToFloat)->Unit(benchmark::kMicrosecond);

template <typename T,
          bool (kt::CThermoTable::*Convert)(const kt::CDibSurface&, T*, kt::RowOrder) const>
void BM_ConvertInterpolated(benchmark::State& state) {
  Fixture f;
  std::vector<T> out(kWidth * kHeight);
  for (auto _ : state) {
    (f.table.*Convert)(f.frame, out.data(), kt::RowOrder::kTopDown);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_ConvertInterpolated<int32_t, &kt::CThermoTable::ConvertToInt32>)
    ->Name("BM_ConvertToInt32")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertInterpolated<uint8_t, &kt::CThermoTable::ConvertToUInt8>)
    ->Name("BM_ConvertToUInt8")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertInterpolated<int8_t, &kt::CThermoTable::ConvertToInt8>)
    ->Name("BM_ConvertToInt8")
    ->Unit(benchmark::kMicrosecond);

// The recording path: one snapshot, CodeTemperature per pixel (an
// interpolating table, so every pixel is interpolated).
void BM_InterpolateFrameFromSnapshot(benchmark::State& state) {
  Fixture f;
  std::vector<float> out(kWidth * kHeight);
  for (auto _ : state) {
    const auto snapshot = f.table.Snapshot();
    for (int i = 0; i < kHeight; ++i) {
      const uint8_t* row = f.frame.pixels() + i * f.frame.stride();
      for (int j = 0; j < kWidth; ++j) {
        uint16_t code = 0;
        std::memcpy(&code, row + 2 * j, 2);
        out[static_cast<size_t>(i * kWidth + j)] = snapshot->CodeTemperature(code);
      }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK(BM_InterpolateFrameFromSnapshot)->Unit(benchmark::kMicrosecond);

// Parse, sweep and interpolating lookup build of a 16384-point headerless table.
void BM_LoadHeaderless16384(benchmark::State& state) {
  const auto file = TableFile(false);
  kt::CThermoTable table;
  table.SelectActiveList(kt::CThermoTable::ActiveList::kCompensated);
  for (auto _ : state) benchmark::DoNotOptimize(table.LoadFromBytes(file.data(), file.size(), 0));
}
BENCHMARK(BM_LoadHeaderless16384)->Unit(benchmark::kMillisecond);

// Drift compensation of a 16384-point version 4000 table: new points, sweep,
// lookup build.
void BM_Compensate16384(benchmark::State& state) {
  const auto file = TableFile(true);
  std::atomic<float> recorded{27.0f};
  kt::CThermoTable table;
  table.SetRecordedTemperatureSource(&recorded);
  table.SelectActiveList(kt::CThermoTable::ActiveList::kCompensated);
  table.LoadFromBytes(file.data(), file.size(), 0);
  float t = 27.0f;
  for (auto _ : state) {
    t = t > 33.0f ? 27.0f : t + 1.5f;
    recorded = t;
    benchmark::DoNotOptimize(table.Compensate());
  }
}
BENCHMARK(BM_Compensate16384)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
