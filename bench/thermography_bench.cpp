// Thermography on a 384 x 288 temperature frame through the companion
// library's C functions: object correction of the whole frame (its table
// cached after the first call, as for a stream of frames with the same
// parameters) and the statistics of a box over the whole frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "kolthermo/kolthermo_measure.h"
#include "kolthermo/kolthermo_thermography.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;

// A room at 20..30 C with a warm object and sensor noise, as the simulated
// camera's default scene gives after the table.
std::vector<float> Scene() {
  std::vector<float> frame(static_cast<std::size_t>(kWidth) * kHeight);
  std::mt19937 random(5);
  std::normal_distribution<float> noise(0.0f, 0.08f);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      float celsius = 20.0f + 10.0f * static_cast<float>(x) / kWidth;
      if (y > 80 && y < 260 && x > 150 && x < 230) celsius = 80.0f;
      frame[static_cast<std::size_t>(y) * kWidth + x] = celsius + noise(random);
    }
  }
  return frame;
}

void BM_ObjectTemperaturesFrame(benchmark::State& state) {
  const std::vector<float> frame = Scene();
  std::vector<float> object(frame.size());
  const KolThermoObjectParams params{0.9f, 20.0f, 1.0f, 20.0f};
  for (auto _ : state) {
    int failed = 0;
    const int code = KolThermoObjectTemperatures(frame.data(), object.data(),
                                                 static_cast<int>(frame.size()), &params, &failed);
    if (code != KOLTHERMO_THERMO_OK) state.SkipWithError("correction failed");
    benchmark::DoNotOptimize(object.data());
  }
}
BENCHMARK(BM_ObjectTemperaturesFrame);

void BM_BoxStatisticsFrame(benchmark::State& state) {
  const std::vector<float> frame = Scene();
  KolThermoMeasurement measurement{};
  measurement.region = {KOLTHERMO_REGION_BOX, 0, 0, kWidth, kHeight, 0, 0, 0};
  for (auto _ : state) {
    KolThermoStats stats{};
    if (KolThermoMeasure(frame.data(), kWidth, kHeight, &measurement, &stats) !=
        KOLTHERMO_THERMO_OK) {
      state.SkipWithError("measurement failed");
    }
    benchmark::DoNotOptimize(stats);
  }
}
BENCHMARK(BM_BoxStatisticsFrame);

}  // namespace

BENCHMARK_MAIN();
