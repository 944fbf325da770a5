// Cost of taking a frame from the stream: WaitFrame + CopyFrame of a 384 x 288
// 16-bit frame while a frame is waiting, next to a plain copy of the same
// number of bytes.
//
// BM_WaitAndCopyFrame times exactly that pair: before each timed take, the
// driver port lets the stream thread publish one more frame and holds it in
// the next read, so a frame is waiting and no writer competes for the CPU.
// BM_WaitAndCopyFrameFreeRunning lets the stream thread refill the ring
// without pause (its real time includes sharing the machine with it).
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "device/kcm_sdk_lib.h"
#include "platform/driver_port.h"
#include "protocol/camera_protocol.h"

namespace {

constexpr int kWidth = kt::protocol::kSensorWidth;
constexpr int kHeight = kt::protocol::kSensorHeight;
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 2;

// A driver that opens any path and completes every request in full. In gated
// mode each frame read waits for a permit from the benchmark.
class BenchPort final : public kt::platform::DriverPort {
 public:
  explicit BenchPort(bool gated) : gated_(gated) { kt::platform::InstallDriverPort(this); }
  ~BenchPort() override { kt::platform::InstallDriverPort(nullptr); }

  kt::platform::DeviceHandle Open(const char* /*path*/) override { return 100; }
  bool IoControl(kt::platform::DeviceHandle /*handle*/, uint32_t /*code*/, const void* input,
                 uint32_t /*input_size*/, void* /*output*/, uint32_t output_size,
                 uint32_t* returned) override {
    const bool frame = static_cast<const uint8_t*>(input)[0] == kt::protocol::kPipeFrame;
    if (gated_ && frame) {
      std::unique_lock lock(mutex_);
      ++reads_started_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return permits_ > 0 || stopping_; });
      if (stopping_) return false;
      --permits_;
    }
    *returned = output_size;
    return true;
  }
  bool Close(kt::platform::DeviceHandle /*handle*/) override { return true; }

  // Lets one frame through and waits until the stream thread has published it
  // (it has then begun the next read).
  void PublishOne() {
    std::unique_lock lock(mutex_);
    const int target = reads_started_ + 1;
    ++permits_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return reads_started_ >= target; });
  }
  void WaitForFirstRead() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return reads_started_ >= 1; });
  }
  void Stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }

 private:
  const bool gated_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int reads_started_ = 0;  // guarded by mutex_
  int permits_ = 0;        // guarded by mutex_
  bool stopping_ = false;  // guarded by mutex_
};

// Reaches the transfer-mode field so the stream moves two bytes per pixel
// without a camera behind the port to answer command 10.
class BenchSdk : public kt::CKCMSdkLib {
 public:
  void SetUpFullFrame() {
    SetDevicePath(0);
    transfer_mode_.store(1);
    SetGeometry(kWidth, 0, kWidth, kHeight, 0, kHeight, 4);
  }
};

void BM_WaitAndCopyFrame(benchmark::State& state) {
  BenchPort port(/*gated=*/true);
  BenchSdk sdk;
  sdk.SetUpFullFrame();
  std::vector<uint8_t> image(kFrameBytes);
  if (sdk.StartStream() != 0) state.SkipWithError("stream did not start");
  port.WaitForFirstRead();
  for (auto _ : state) {
    port.PublishOne();
    const auto start = std::chrono::steady_clock::now();
    const int result = sdk.WaitFrame();
    sdk.CopyFrame(image.data());
    benchmark::DoNotOptimize(image.data());
    benchmark::ClobberMemory();
    const auto end = std::chrono::steady_clock::now();
    if (result != kt::kWaitFrameReady) {
      state.SkipWithError("no frame was waiting");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  port.Stop();
  sdk.StopStream();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFrameBytes));
}
BENCHMARK(BM_WaitAndCopyFrame)->UseManualTime();

void BM_WaitAndCopyFrameFreeRunning(benchmark::State& state) {
  BenchPort port(/*gated=*/false);
  BenchSdk sdk;
  sdk.SetUpFullFrame();
  std::vector<uint8_t> image(kFrameBytes);
  if (sdk.StartStream() != 0) state.SkipWithError("stream did not start");
  for (auto _ : state) {
    int result = sdk.WaitFrame();
    while (result == kt::kWaitNoFrameYet) result = sdk.WaitFrame();
    if (result != kt::kWaitFrameReady) {
      state.SkipWithError("stream ended");
      break;
    }
    sdk.CopyFrame(image.data());
    benchmark::DoNotOptimize(image.data());
    benchmark::ClobberMemory();
  }
  sdk.StopStream();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFrameBytes));
}
BENCHMARK(BM_WaitAndCopyFrameFreeRunning)->UseRealTime();

void BM_MemcpyFrame(benchmark::State& state) {
  std::vector<uint8_t> source(kFrameBytes, 0x5A);
  std::vector<uint8_t> image(kFrameBytes);
  for (auto _ : state) {
    std::memcpy(image.data(), source.data(), kFrameBytes);
    benchmark::DoNotOptimize(image.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kFrameBytes));
}
BENCHMARK(BM_MemcpyFrame)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
