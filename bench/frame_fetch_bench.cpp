// Fetching a frame through the C interface, end to end: the instance lookup,
// the frame search under the frame lock, and the copy or the conversion.
#include <benchmark/benchmark.h>

#include <vector>

#include "kolthermo/kolthermo.h"
#include "sim/frame_generator.h"
#include "sim/sim_driver.h"
#include "support/test_support.h"
#include "table_writer.h"

namespace {

struct Fixture {
  Fixture() {
    sim.driver().Attach(0)->SetScene(kt::sim::MakeDefaultScene());
    std::string error;
    kt::test::WriteFileBytes(dir.Path("table.bin"), kt::table_writer::EncodeTable(
                                                        {kt::table_writer::Layout::k4000}, &error));
    id = KolThermo_Initialize(nullptr);
    const std::u16string path = dir.Wide("table.bin");
    KolThermo_SetTableW(id, reinterpret_cast<const KolThermoWChar*>(path.c_str()));
    frame = KolThermo_OneShot(id);
  }
  ~Fixture() { KolThermo_Release(id); }
  kt::sim::ScopedSimDriver sim;
  kt::test::TempDir dir;
  int id = 0;
  int frame = 0;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_GetTemperature(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<float> out(384 * 288);
  for (auto _ : state) {
    const int ok = KolThermo_GetTemperature(f.id, f.frame, out.data(), 384 * 288 * 4);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_GetTemperature);

void BM_GetRaw(benchmark::State& state) {
  Fixture& f = Shared();
  std::vector<unsigned short> out(384 * 288);
  for (auto _ : state) {
    const int ok = KolThermo_GetRaw(f.id, f.frame, out.data(), 384 * 288 * 2);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_GetRaw);

}  // namespace

BENCHMARK_MAIN();
