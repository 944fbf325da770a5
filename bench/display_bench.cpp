// Cost of drawing one frame into the live display: a frame-sized client area
// (one blit, mirrored or plain) and a double-size one (nearest-neighbour pass
// into the scratch surface, then one blit). Off Windows the window is the
// display-window substitute, so the blit is a memory copy.

#include <benchmark/benchmark.h>

#include "imaging/dib_surface.h"
#include "imaging/live_display.h"
#include "imaging/resample.h"
#include "platform/display_window.h"

namespace {

class DisplayFixture {
 public:
  DisplayFixture(int width, int height) {
    colour_.Create(384, 288, 24);
    for (size_t i = 0; i < colour_.byte_size(); ++i) {
      colour_.pixels()[i] = static_cast<uint8_t>(i * 7);
    }
#if !defined(_WIN32)
    void* window = kt::platform::CreateDisplayWindow(width, height, true);
    display_.Attach(window, kt::platform::GetDisplayDc(window), nullptr);
#else
    (void)width;
    (void)height;
#endif
    display_.PrepareScratch(scratch_);
  }

  bool Draw(int fetch_row_order) { return display_.Draw(colour_, scratch_, fetch_row_order); }

 private:
  kt::CDibSurface colour_;
  kt::CDibSurface scratch_;
  kt::LiveDisplay display_;
};

void BM_DrawFrameSized(benchmark::State& state) {
  DisplayFixture fixture(384, 288);
  const int order = static_cast<int>(state.range(0));
  if (!fixture.Draw(order)) state.SkipWithError("no display window to draw into");
  for (auto _ : state) benchmark::DoNotOptimize(fixture.Draw(order));
}
BENCHMARK(BM_DrawFrameSized)->Arg(0)->Arg(1);

void BM_DrawDoubleSize(benchmark::State& state) {
  DisplayFixture fixture(768, 576);
  const int order = static_cast<int>(state.range(0));
  if (!fixture.Draw(order)) state.SkipWithError("no display window to draw into");
  for (auto _ : state) benchmark::DoNotOptimize(fixture.Draw(order));
}
BENCHMARK(BM_DrawDoubleSize)->Arg(0)->Arg(1);

void BM_ResampleDoubleSize(benchmark::State& state) {
  kt::CDibSurface colour;
  kt::CDibSurface scaled;
  colour.Create(384, 288, 24);
  scaled.Create(768, 576, 24);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        scaled.ResampleFrom(kt::ResampleNearestMirrored, &colour, nullptr, nullptr));
  }
}
BENCHMARK(BM_ResampleDoubleSize);

}  // namespace

BENCHMARK_MAIN();
