// Per-frame cost of recording a 384 x 288 frame, as the capture loop pays it
// in WriteRecordingFrame: mode 1 reverses the raw rows and writes them, mode 2
// appends the colour picture to the AVI file, mode 3 converts every pixel to
// a temperature and writes the floats. At 60 frames per second a frame may
// take 16.7 ms in all; the "frames_per_s" counter says how many frames a
// second the step alone could take.
#include <benchmark/benchmark.h>

#include <string>

#include "api/registry.h"
#include "camera/kol_thermo.h"
#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/test_support.h"
#include "table_writer.h"

namespace kt {

// Drives the private recording steps of one instance without a capture
// thread (the instance is idle, so this thread stands in for it).
struct RecordingProbe {
  static bool Start(CKolThermo& camera, int32_t mode, const std::u16string& name) {
    return camera.StartRecording(mode, name);
  }
  static bool Write(CKolThermo& camera, int32_t mode) { return camera.WriteRecordingFrame(mode); }
  static int Stop(CKolThermo& camera, int32_t mode) { return camera.StopRecording(mode); }
};

namespace {

// Files are started afresh after this many frames, so a long run does not
// fill the disk (about 110 MiB for temperatures).
constexpr int64_t kFramesPerFile = 256;

struct Fixture {
  Fixture() {
    sim.driver().Attach(0)->SetScene(sim::MakeDefaultScene());
    std::string error;
    test::WriteFileBytes(dir.Path("table.bin"),
                         table_writer::EncodeTable({table_writer::Layout::k4000}, &error));
    id = KolThermo_Initialize(nullptr);
    KolThermo_SetParam(id, 10, 0);  // no NUC hold after the table loads
    const std::u16string table = dir.Wide("table.bin");
    const bool loaded =
        KolThermo_SetTableW(id, reinterpret_cast<const KolThermoWChar*>(table.c_str())) == 1;
    // A real frame in the current slot, as the capture loop would leave it.
    const bool grabbed = KolThermo_OneShot(id) != 0;
    // Nothing releases the instance while the benchmarks run.
    camera = GlobalRegistry().Acquire(id).get();
    ready = loaded && grabbed && camera != nullptr;
  }
  ~Fixture() { KolThermo_Release(id); }
  sim::ScopedSimDriver sim;
  test::TempDir dir;
  int id = 0;
  CKolThermo* camera = nullptr;
  bool ready = false;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_WriteRecordingFrame(benchmark::State& state) {
  Fixture& f = Shared();
  const auto mode = static_cast<int32_t>(state.range(0));
  const std::u16string name = f.dir.Wide("bench_" + std::to_string(mode));
  if (!f.ready) {
    state.SkipWithError("the simulated camera gave no frame");
    return;
  }
  if (!RecordingProbe::Start(*f.camera, mode, name)) {
    state.SkipWithError("the recording did not start");
    return;
  }
  int64_t in_file = 0;
  for (auto _ : state) {
    if (!RecordingProbe::Write(*f.camera, mode)) {
      state.SkipWithError("a frame write failed");
      break;
    }
    if (++in_file == kFramesPerFile) {
      state.PauseTiming();
      RecordingProbe::Stop(*f.camera, mode);
      RecordingProbe::Start(*f.camera, mode, name);
      in_file = 0;
      state.ResumeTiming();
    }
  }
  RecordingProbe::Stop(*f.camera, mode);
  // Frames this step alone could record per second; 60 or more keeps up.
  state.counters["frames_per_s"] =
      benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WriteRecordingFrame)
    ->ArgName("mode")
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
}  // namespace kt

BENCHMARK_MAIN();
