// Radiometric files through the thermography library's C functions: one
// frame written as float TIFF, raw TIFF and CSV (over the previous file, as a
// program saving snapshots under one name does), and pages added to a
// recording. Files go to the system's temporary directory; the times are wall
// times, the disk included.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "kolthermo/kolthermo_radiometric.h"

namespace {

constexpr int kWidth = 384;
constexpr int kHeight = 288;

// A room scene with a warm object and sensor-like noise, in degrees Celsius.
std::vector<float> SceneCelsius() {
  std::vector<float> celsius(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const float warm = std::hypot(x - 200.0f, y - 140.0f) < 40.0f ? 35.0f : 0.0f;
      celsius[static_cast<std::size_t>(y) * kWidth + x] =
          21.0f + 0.01f * static_cast<float>(x) + warm + 0.05f * static_cast<float>((x * y) % 7);
    }
  }
  return celsius;
}

std::vector<unsigned short> SceneRaw() {
  std::vector<unsigned short> raw(static_cast<std::size_t>(kWidth) * kHeight);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    raw[i] = static_cast<unsigned short>(6000 + (i * 13) % 4000);
  }
  return raw;
}

KolThermoFrameInfo Info(unsigned frame_id) {
  return {frame_id, 1796733296.5 + frame_id / 60.0, 31.0f, 0.95f, 20.0f, 1.0f, 20.0f, "camera.tbl"};
}

std::string TempFile(const char* name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

void BM_WriteCelsiusTiff(benchmark::State& state) {
  const std::vector<float> celsius = SceneCelsius();
  const KolThermoFrameInfo info = Info(1);
  const std::string path = TempFile("kolthermo_bench_celsius.tif");
  for (auto _ : state) {
    if (KolThermoWriteCelsiusTiff(path.c_str(), celsius.data(), kWidth, kHeight, &info) != 0) {
      state.SkipWithError("write failed");
      break;
    }
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteCelsiusTiff)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_WriteRaw16Tiff(benchmark::State& state) {
  const std::vector<unsigned short> raw = SceneRaw();
  const KolThermoFrameInfo info = Info(1);
  const std::string path = TempFile("kolthermo_bench_raw16.tif");
  for (auto _ : state) {
    if (KolThermoWriteRaw16Tiff(path.c_str(), raw.data(), kWidth, kHeight, &info) != 0) {
      state.SkipWithError("write failed");
      break;
    }
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteRaw16Tiff)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_WriteCelsiusCsv(benchmark::State& state) {
  const std::vector<float> celsius = SceneCelsius();
  const KolThermoFrameInfo info = Info(1);
  const std::string path = TempFile("kolthermo_bench_celsius.csv");
  for (auto _ : state) {
    if (KolThermoWriteCelsiusCsv(path.c_str(), celsius.data(), kWidth, kHeight, &info) != 0) {
      state.SkipWithError("write failed");
      break;
    }
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_WriteCelsiusCsv)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Pages of whole frames added to a BigTIFF recording, started afresh every
// 256 pages outside the timing: what a recording at 60 frames per second
// pays per frame (16667 us available).
void BM_RecordingAddPage(benchmark::State& state) {
  const std::vector<float> celsius = SceneCelsius();
  const std::string path = TempFile("kolthermo_bench_recording.tif");
  KolThermoTiffRecording* recording = nullptr;
  unsigned frame = 0;
  for (auto _ : state) {
    if (recording == nullptr || frame % 256 == 0) {
      state.PauseTiming();
      if (recording != nullptr) KolThermoTiffRecordingClose(recording);
      recording = nullptr;
      KolThermoTiffRecordingOpen(path.c_str(), kWidth, kHeight, &recording);
      state.ResumeTiming();
    }
    const KolThermoFrameInfo info = Info(frame++);
    if (recording == nullptr || KolThermoTiffRecordingAdd(recording, celsius.data(), &info) != 0) {
      state.SkipWithError("recording failed");
      break;
    }
  }
  if (recording != nullptr) KolThermoTiffRecordingClose(recording);
  std::filesystem::remove(path);
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordingAddPage)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The cost of a page against the pages already in the file: 16 x 16 pages so
// that the disk plays no part (tens of thousands of whole frames would make
// the kernel throttle the writer on dirty pages). A page must cost the same
// after 20000 pages as after none, or long recordings fall behind.
void BM_RecordingAddSmallPage(benchmark::State& state) {
  constexpr int kSide = 16;
  const std::vector<float> celsius(kSide * kSide, 21.5f);
  const std::string path = TempFile("kolthermo_bench_small_recording.tif");
  KolThermoTiffRecording* recording = nullptr;
  bool ok = KolThermoTiffRecordingOpen(path.c_str(), kSide, kSide, &recording) == 0;
  unsigned frame = 0;
  for (; ok && frame < static_cast<unsigned>(state.range(0)); ++frame) {
    const KolThermoFrameInfo info = Info(frame);
    ok = KolThermoTiffRecordingAdd(recording, celsius.data(), &info) == 0;
  }
  for (auto _ : state) {
    const KolThermoFrameInfo info = Info(frame++);
    if (!ok || KolThermoTiffRecordingAdd(recording, celsius.data(), &info) != 0) {
      state.SkipWithError("recording failed");
      break;
    }
  }
  if (recording != nullptr) KolThermoTiffRecordingClose(recording);
  std::filesystem::remove(path);
}
BENCHMARK(BM_RecordingAddSmallPage)
    ->ArgName("pages_before")
    ->Arg(0)
    ->Arg(20000)
    ->Iterations(2000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
