// The simulated camera's own cost per 384 x 288 frame read (render, noise,
// fixed pattern, copy), on a manual clock so that pacing costs no real time.
// At 240 frames per second a frame may take at most 4.2 ms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "protocol/camera_protocol.h"
#include "sim/sim_driver.h"

namespace {

void BM_SimFrameRead(benchmark::State& state) {
  kt::platform::ManualClock clock(5000);
  kt::platform::ScopedClock scoped(clock);
  kt::sim::SimDriver driver;
  driver.Attach(0)->SetFrameRate(240.0);
  const kt::platform::DeviceHandle handle = driver.Open("\\\\.\\KCamV7R2KTHM-0");
  std::vector<uint8_t> frame(384 * 288 * 2);
  const uint32_t pipe = kt::protocol::kPipeFrame;
  for (auto _ : state) {
    uint32_t moved = 0;
    const bool ok = driver.IoControl(handle, kt::protocol::kIoctlPipeWrite, &pipe, sizeof pipe,
                                     frame.data(), static_cast<uint32_t>(frame.size()), &moved);
    benchmark::DoNotOptimize(ok);
  }
  driver.Close(handle);
}
BENCHMARK(BM_SimFrameRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
