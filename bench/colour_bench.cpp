// Cost of mapping one 384 x 288 raw frame to false colour, on a scene like the
// camera's: a room-temperature background with noise, a warm figure and a hot
// object.
//
// BM_MapFrameFollowingScene re-ranges after every frame (the default), and the
// noise moves the window each time. BM_MapFrameFixedWindow keeps the window.
// Both take the fastest loops this processor runs: with AVX-512 byte permutes
// every pixel is computed in registers, otherwise it is read from the cached
// lookup, which a moving window partly rebuilds per frame.
// BM_MapFrameLookupLoops follows the scene with the AVX2 lookup loops, as
// processors without those permutes run it. BM_MapFramePlainLoops follows the
// scene with the plain loops, which processors without a vector unit and the
// Windows DLLs use. BM_MapFrameDirect computes every pixel one by one, for
// comparison. BM_CopyColourFrameBytes is the floor: a memcpy of the picture's
// bytes, more than the frame's codes it reads.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <cstring>
#include <random>
#include <vector>

#include "imaging/colour_map.h"
#include "imaging/colour_map_loops.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;
constexpr int kColourStride = kWidth * 3;
constexpr int kFrames = 8;

// A few frames of a noisy scene, cycled so that the window keeps moving.
std::vector<kt::CDibSurface> MakeScenes() {
  std::vector<kt::CDibSurface> scenes(kFrames);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 12.0);
  for (auto& scene : scenes) {
    scene.CreateInMemory(kWidth, kHeight, 16);
    for (int i = 0; i < kHeight; ++i) {
      for (int j = 0; j < kWidth; ++j) {
        double code = 7000.0 + 3.0 * j;
        if (i > 80 && i < 260 && j > 150 && j < 230) code = 8200.0;
        if (i > 40 && i < 70 && j > 300 && j < 340) code = 11500.0;
        const auto value = static_cast<uint16_t>(code + noise(random));
        std::memcpy(scene.pixels() + i * scene.stride() + j * 2, &value, 2);
      }
    }
  }
  return scenes;
}

void Run(benchmark::State& state, int32_t auto_range_count, bool direct,
         const kt::ColourMapLoops& loops = kt::FastestColourMapLoops()) {
  const std::vector<kt::CDibSurface> scenes = MakeScenes();
  std::vector<uint8_t> colour(static_cast<size_t>(kColourStride) * kHeight);
  kt::ColourMapping record;
  record.auto_range_count = auto_range_count;
  record.low_bound = 6900;
  record.high_bound = 11700;
  if (direct) record.lookup_busy.test_and_set();
  size_t frame = 0;
  for (auto _ : state) {
    kt::MapFrameToColourWith(loops, record, scenes[frame], colour.data(), kColourStride);
    frame = (frame + 1) % scenes.size();
    benchmark::DoNotOptimize(colour.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void BM_MapFrameFollowingScene(benchmark::State& state) { Run(state, -1, false); }
void BM_MapFrameFixedWindow(benchmark::State& state) { Run(state, 0, false); }
void BM_MapFramePlainLoops(benchmark::State& state) {
  Run(state, -1, false, kt::PlainColourMapLoops());
}
void BM_MapFrameLookupLoops(benchmark::State& state) {
  if ((hwy::SupportedTargets() & HWY_AVX2) == 0) {
    state.SkipWithError("this processor has no AVX2");
    return;
  }
  hwy::SetSupportedTargetsForTest(HWY_AVX2);
  Run(state, -1, false);
  hwy::SetSupportedTargetsForTest(0);
}
void BM_MapFrameDirect(benchmark::State& state) { Run(state, 0, true, kt::PlainColourMapLoops()); }

void BM_CopyColourFrameBytes(benchmark::State& state) {
  const std::vector<uint8_t> source(static_cast<size_t>(kColourStride) * kHeight, 1);
  std::vector<uint8_t> colour(source.size());
  for (auto _ : state) {
    std::memcpy(colour.data(), source.data(), source.size());
    benchmark::DoNotOptimize(colour.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(source.size()));
}

BENCHMARK(BM_MapFrameFollowingScene)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapFrameFixedWindow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapFrameLookupLoops)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapFramePlainLoops)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MapFrameDirect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyColourFrameBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
