// Cost of false colour from one 384 x 288 frame of temperatures, on a scene
// like the camera's: a room between 20 and 25 degrees with sensor noise, a
// person at 34 and a hot object at 85, through the exported C functions.
//
// BM_ColorizeAuto spans the palette over the frame's minimum to maximum;
// BM_ColorizeHistogram equalises the histogram (16384 bins); BM_ColorizeManualIsotherm
// takes a fixed range with an isotherm above 30 degrees. BM_DrawWithScaleBar
// adds the colour scale with its labels to a coloured picture (font loading
// included, as every call does it).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "kolthermo/kolthermo_palette.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;

std::vector<float> MakeScene() {
  std::vector<float> frame(static_cast<size_t>(kWidth) * kHeight);
  std::mt19937 random(7);
  std::normal_distribution<float> noise(0.0f, 0.05f);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      float t = 20.0f + 5.0f * static_cast<float>(x) / kWidth;
      if (y > 80 && y < 260 && x > 150 && x < 230) t = 34.0f;
      if (y > 40 && y < 70 && x > 300 && x < 340) t = 85.0f;
      frame[static_cast<size_t>(y) * kWidth + x] = t + noise(random);
    }
  }
  return frame;
}

void Colorize(benchmark::State& state, int range, int isotherm) {
  const std::vector<float> frame = MakeScene();
  std::vector<unsigned char> rgb(frame.size() * 3);
  KolThermoColorOptions options{};
  options.palette = KOLTHERMO_PALETTE_IRON;
  options.range = range;
  options.low_c = 18.0f;
  options.high_c = 40.0f;
  options.isotherm = isotherm;
  options.iso_low_c = 30.0f;
  options.iso_rgb[1] = 255;
  for (auto _ : state) {
    float low = 0.0f;
    float high = 0.0f;
    if (KolThermoColorize(frame.data(), kWidth, kHeight, &options, rgb.data(), &low, &high) !=
        KOLTHERMO_THERMO_OK) {
      state.SkipWithError("KolThermoColorize failed");
      break;
    }
    benchmark::DoNotOptimize(rgb.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_ColorizeAuto(benchmark::State& state) {
  Colorize(state, KOLTHERMO_RANGE_AUTO, KOLTHERMO_ISOTHERM_OFF);
}
void BM_ColorizeHistogram(benchmark::State& state) {
  Colorize(state, KOLTHERMO_RANGE_HISTOGRAM, KOLTHERMO_ISOTHERM_OFF);
}
void BM_ColorizeManualIsotherm(benchmark::State& state) {
  Colorize(state, KOLTHERMO_RANGE_MANUAL, KOLTHERMO_ISOTHERM_ABOVE);
}

void BM_DrawWithScaleBar(benchmark::State& state) {
  const std::vector<float> frame = MakeScene();
  std::vector<unsigned char> rgb(frame.size() * 3);
  KolThermoColorOptions options{};
  float low = 0.0f;
  float high = 0.0f;
  KolThermoColorize(frame.data(), kWidth, kHeight, &options, rgb.data(), &low, &high);
  std::vector<unsigned char> out(static_cast<size_t>(kWidth + KolThermoScaleBarWidth(kHeight)) *
                                 kHeight * 3);
  for (auto _ : state) {
    if (KolThermoDrawWithScaleBar(rgb.data(), kWidth, kHeight, KOLTHERMO_PALETTE_IRON, low, high,
                                  nullptr, out.data()) != KOLTHERMO_THERMO_OK) {
      state.SkipWithError("KolThermoDrawWithScaleBar failed (font missing?)");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_ColorizeAuto);
BENCHMARK(BM_ColorizeHistogram);
BENCHMARK(BM_ColorizeManualIsotherm);
BENCHMARK(BM_DrawWithScaleBar);

}  // namespace

BENCHMARK_MAIN();
