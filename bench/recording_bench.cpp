// Per-frame cost of recording a 384 x 288 frame, as the capture loop pays it
// in Recorder::RecordFrame: mode 1 reverses the raw rows and writes them,
// mode 2 appends the colour picture to the AVI file, mode 3 converts every
// pixel to a temperature and writes the floats; each step also reads the
// host's request once, as the capture loop's does. At 60 frames per second a
// frame may take 16.7 ms in all; the "frames_per_s" counter says how many
// frames a second the step alone could take.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "camera/code_store.h"
#include "camera/frame_slot.h"
#include "camera/kol_thermo.h"
#include "camera/recorder.h"
#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/test_support.h"
#include "table_writer.h"

namespace kt {
namespace {

// Files are started afresh after this many frames, so a long run does not
// fill the disk (about 110 MiB for temperatures).
constexpr int64_t kFramesPerFile = 256;

// A real frame of the simulated camera with a calibration table loaded, taken
// by an idle instance and copied into a slot of the bench's own; this thread
// then stands in for the capture thread.
struct Fixture {
  Fixture() {
    sim.driver().Attach(0)->SetScene(sim::MakeDefaultScene());
    std::string error;
    test::WriteFileBytes(dir.Path("table.bin"),
                         table_writer::EncodeTable({table_writer::Layout::k4000}, &error));
    // Made after the camera is attached: the device looks for cameras as it
    // is constructed.
    camera = std::make_unique<CKolThermo>();
    camera->Initialize(nullptr);
    camera->SetParam(KOLTHERMO_PARAM_NUC_HOLD, 0);  // no NUC hold after the table loads
    const bool loaded = camera->SetTable(dir.Wide("table.bin").c_str());
    const int32_t frame_id = camera->OneShot();
    const bool created = frame.raw.Create(kFrameWidth, kFrameHeight, 16) != 0 &&
                         frame.colour.Create(kFrameWidth, kFrameHeight, 24) != 0;
    // Parameter 17 is 0: the copies keep the stored row order.
    const bool copied =
        created && frame_id != 0 &&
        camera->GetRaw(frame_id, frame.raw.pixels(),
                       static_cast<uint32_t>(frame.raw.stride() * frame.raw.height())) &&
        camera->GetColor(frame_id, frame.colour.pixels(),
                         static_cast<uint32_t>(frame.colour.stride() * frame.colour.height()));
    ready = loaded && copied;
  }
  sim::ScopedSimDriver sim;
  test::TempDir dir;
  std::unique_ptr<CKolThermo> camera;
  FrameSlot frame;
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
  CodeStore codes;
  Recorder recorder(codes);
  // Upright files, and a split size no run reaches.
  const Recorder::FrameSettings settings{2000, false};
  recorder.Request(name.c_str(), mode);
  recorder.Begin(f.frame);
  if (!recorder.is_recording()) {
    state.SkipWithError("the recording did not start");
    return;
  }
  int64_t in_file = 0;
  for (auto _ : state) {
    recorder.RecordFrame(f.frame, f.camera->table(), settings);
    if (!recorder.is_recording()) {
      state.SkipWithError("a frame write failed");
      break;
    }
    if (++in_file == kFramesPerFile) {
      state.PauseTiming();
      recorder.End();
      recorder.Begin(f.frame);
      in_file = 0;
      state.ResumeTiming();
    }
  }
  recorder.End();
  // Frames this step alone could record per second; 60 or more keeps up.
  state.counters["frames_per_s"] =
      benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WriteRecordingFrame)
    ->ArgName("mode")
    ->Arg(KOLTHERMO_RECORD_RAW)
    ->Arg(KOLTHERMO_RECORD_VIDEO)
    ->Arg(KOLTHERMO_RECORD_TEMPERATURE)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
}  // namespace kt

BENCHMARK_MAIN();
