// The capture path, per published frame, on the simulated camera.
//
// BM_PublishFrame times the capture loop's own work for one frame the device
// has ready (copy into the ring, colour map, rate count, display, recording,
// frame-ready message), as this thread's CPU time: the simulated camera
// renders its frames on the device's stream thread, which is not the
// library's work per frame, and the wait for the next frame is left out.
//
// BM_FrameReadyLatency runs a preview as a host would and measures, for each
// frame, the time from the driver completing the frame's read to the
// frame-ready message arriving at the host window; its counters are the
// median and the 99th percentile of those times.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

#include "camera/acquisition.h"
#include "camera/kol_thermo.h"
#include "kolthermo/kolthermo.h"
#include "kolthermo/kolthermo_host.h"
#include "platform/driver_port.h"
#include "protocol/camera_protocol.h"
#include "sim/frame_generator.h"
#include "sim/sim_camera.h"
#include "sim/sim_driver.h"

namespace {

// Simulated frames per second while the capture path is timed: fast enough
// that the untimed wait for the next frame stays short, slow enough that
// the stream thread rests between frames.
constexpr double kPublishFrameRate = 1000.0;
// Frames per second of the latency run: the simulated camera's own default.
constexpr double kLatencyFrameRate = 30.0;
// Frames whose latency one iteration of BM_FrameReadyLatency collects.
constexpr int kLatencyFrames = 150;
constexpr int kMessageWaitMs = 3000;

int64_t ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Drops every message waiting at `window`.
void Drain(KolThermoHWND window) {
  KolThermoHostMessage message{};
  while (KolThermoHost_WaitMessage(window, 0, &message) == KOLTHERMO_HOST_MESSAGE) {
  }
}

// Forwards to the simulated driver and notes when each frame read completes:
// the moment a frame is ready in the driver. Installed over the simulated
// driver before any device object exists, removed after they are gone.
class FrameReadyPort final : public kt::platform::DriverPort {
 public:
  FrameReadyPort() : inner_(kt::platform::CurrentDriverPort()) {
    kt::platform::InstallDriverPort(this);
  }
  ~FrameReadyPort() override { kt::platform::InstallDriverPort(&inner_); }
  FrameReadyPort(const FrameReadyPort&) = delete;
  FrameReadyPort& operator=(const FrameReadyPort&) = delete;

  kt::platform::DeviceHandle Open(const char* path) override { return inner_.Open(path); }
  bool IoControl(kt::platform::DeviceHandle handle, uint32_t code, const void* input,
                 uint32_t input_size, void* output, uint32_t output_size,
                 uint32_t* returned) override {
    const bool done =
        inner_.IoControl(handle, code, input, input_size, output, output_size, returned);
    if (done && input != nullptr && input_size > 0 &&
        static_cast<const uint8_t*>(input)[0] == kt::protocol::kPipeFrame) {
      // The time first, then the count: a reader that sees the new count
      // sees this frame's time (or a later one's).
      last_ready_ns_.store(SteadyNs(), std::memory_order_relaxed);
      reads_.fetch_add(1, std::memory_order_release);
    }
    return done;
  }
  bool Close(kt::platform::DeviceHandle handle) override { return inner_.Close(handle); }

  // Frame reads completed so far, and when the newest completed.
  uint64_t reads() const { return reads_.load(std::memory_order_acquire); }
  int64_t last_ready_ns() const { return last_ready_ns_.load(std::memory_order_relaxed); }

 private:
  kt::platform::DriverPort& inner_;
  // Written by the device's stream thread, read by the benchmark thread.
  std::atomic<uint64_t> reads_{0};
  std::atomic<int64_t> last_ready_ns_{0};
};

void BM_PublishFrame(benchmark::State& state) {
  kt::sim::ScopedSimDriver sim;
  auto camera = sim.driver().Attach(0);
  camera->SetScene(kt::sim::MakeDefaultScene());
  camera->SetFrameRate(kPublishFrameRate);
  KolThermoHWND window = KolThermoHost_CreateWindow();
  {
    kt::CKolThermo instance;
    instance.Initialize(window);
    // A single frame prepares the ring, the spare surface and the device's
    // window as a preview start does; then the stream runs without a
    // capture thread, and this thread takes its place.
    if (window == nullptr || instance.OneShot() == 0 ||
        instance.device().StartStream() != kt::kDeviceOk) {
      state.SkipWithError("no simulated camera to stream from");
    }
    int64_t published = 0;
    for (auto _ : state) {
      if (state.error_occurred()) break;
      // A wait that saw no frame returns when the stream signals, without
      // taking a frame; each wait ends within the device's limit.
      kt::WaitFrameResult waited = kt::kWaitNoFrameYet;
      for (int tries = 0; tries < 100 && waited == kt::kWaitNoFrameYet; ++tries) {
        waited = instance.device().WaitFrame();
      }
      if (waited != kt::kWaitFrameReady) {
        state.SkipWithError("no frame was ready");
        break;
      }
      const int64_t start = ThreadCpuNs();
      const int32_t id = instance.acquisition().PublishFrame();
      const int64_t end = ThreadCpuNs();
      state.SetIterationTime(static_cast<double>(end - start) * 1e-9);
      if (id == 0) {
        state.SkipWithError("the frame was not published");
        break;
      }
      if (++published % 256 == 0) Drain(window);
    }
    instance.device().StopStream();
  }
  KolThermoHost_DestroyWindow(window);
}
BENCHMARK(BM_PublishFrame)->UseManualTime();

// Value at fraction `q` of the sorted `values` (nearest rank).
double Quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(rank, values.size() - 1)];
}

void BM_FrameReadyLatency(benchmark::State& state) {
  kt::sim::ScopedSimDriver sim;
  auto camera = sim.driver().Attach(0);
  camera->SetScene(kt::sim::MakeDefaultScene());
  camera->SetFrameRate(kLatencyFrameRate);
  FrameReadyPort port;
  KolThermoHWND window = KolThermoHost_CreateWindow();
  const int id = KolThermo_Initialize(window);
  const int interval_ms = KolThermo_GetParam(id, KOLTHERMO_PARAM_LOOP_INTERVAL);
  if (window == nullptr || id <= 0 || KolThermo_Preview(id) == 0) {
    state.SkipWithError("no preview on the simulated camera");
  }
  std::vector<double> latencies_us;
  int ambiguous = 0;
  for (auto _ : state) {
    if (state.error_occurred()) break;
    Drain(window);
    uint64_t reads_before = port.reads();
    for (int frame = 0; frame < kLatencyFrames; ++frame) {
      KolThermoHostMessage message{};
      int64_t arrived = 0;
      do {
        if (KolThermoHost_WaitMessage(window, kMessageWaitMs, &message) != KOLTHERMO_HOST_MESSAGE) {
          state.SkipWithError("the frame-ready messages stopped");
          break;
        }
        arrived = SteadyNs();
      } while (message.message != KOLTHERMO_MSG_FRAME_READY);
      if (state.error_occurred()) break;
      // The message is for the newest frame read when exactly one read
      // completed since the previous message; otherwise it cannot be told
      // which read it belongs to, and the frame is not counted.
      const uint64_t reads = port.reads();
      const int64_t ready = port.last_ready_ns();
      if (reads == reads_before + 1) {
        latencies_us.push_back(static_cast<double>(arrived - ready) * 1e-3);
      } else {
        ++ambiguous;
      }
      reads_before = reads;
    }
  }
  KolThermo_Close(id);
  KolThermo_Release(id);
  KolThermoHost_DestroyWindow(window);
  if (latencies_us.empty()) {
    if (!state.error_occurred()) state.SkipWithError("no frame could be matched to its read");
    return;
  }
  state.counters["median_us"] = Quantile(latencies_us, 0.5);
  state.counters["p99_us"] = Quantile(latencies_us, 0.99);
  state.counters["frames"] = static_cast<double>(latencies_us.size());
  state.counters["unmatched"] = ambiguous;
  state.counters["loop_interval_ms"] = interval_ms;
}
BENCHMARK(BM_FrameReadyLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
