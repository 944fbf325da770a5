// Floors for the report: a memcpy of N bytes, for each N a report row needs.
// A benchmark that reads R bytes and writes W bytes moves as much memory as
// a memcpy of (R + W) / 2 bytes, which no code doing that work can beat by
// much; the report shows each figure as a multiple of its floor, both taken
// in the same run on the same machine.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int64_t kWidth = 384;
constexpr int64_t kHeight = 288;
constexpr int64_t kPixels = kWidth * kHeight;

void BM_MemcpyFloor(benchmark::State& state) {
  const auto bytes = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> source(bytes, 0x5A);
  std::vector<uint8_t> target(bytes);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
// Half-frame sums of what the rows read and write, per pixel: 16-bit codes
// in and out (2 + 2), 16-bit codes to 8-bit values (2 + 1), codes to 24-bit
// colour (2 + 3), codes or 24-bit colour to 32-bit values or colour (2 + 4,
// 3 + 3), 32-bit values in and out (4 + 4), float temperatures to 24-bit
// colour (4 + 3), the capture path's copy and colour map (2 + 2 + 2 + 3) and
// a 24-bit frame to a double-size 24-bit picture (3 + 12).
BENCHMARK(BM_MemcpyFloor)
    ->Arg(kPixels * 4 / 2)
    ->Arg(kPixels * 3 / 2)
    ->Arg(kPixels * 5 / 2)
    ->Arg(kPixels * 6 / 2)
    ->Arg(kPixels * 8 / 2)
    ->Arg(kPixels * 7 / 2)
    ->Arg(kPixels * 9 / 2)
    ->Arg(kPixels * 15 / 2);

}  // namespace

BENCHMARK_MAIN();
