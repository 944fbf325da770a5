#!/usr/bin/env bash
# Runs every benchmark of the SDK and, in the same run, what a user would do
# instead (OpenCV false colour, a numpy lookup table; the bare encoders are
# part of the save benchmark), then writes docs/PERFORMANCE.md with the
# figures, the ratios and the machine they were measured on.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# Usage: scripts/perf-report.sh [--quick] [--with-soak] [--report-only]
#   --quick        short benchmark repetitions (noisier, about a minute)
#   --with-soak    also run the ten-minute soak and include its figures
#   --report-only  rewrite the report from the results of the last run
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

quick=0 soak=0 report_only=0
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    --with-soak) soak=1 ;;
    --report-only) report_only=1 ;;
    *) echo "usage: $0 [--quick] [--with-soak] [--report-only]" >&2; exit 2 ;;
  esac
done

build=build/perf
results=$build/results
python=/usr/bin/python3
[[ -x $python ]] || python=python3

if ((!report_only)); then
  scripts/install-deps.sh --native --perf
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLTHERMO_BUILD_BENCHMARKS=ON >/dev/null
  cmake --build "$build" --target kolthermo_device_bench kolthermo_display_bench \
    kolthermo_colour_bench kolthermo_thermal_bench kolthermo_frame_fetch_bench \
    kolthermo_sim_bench kolthermo_recording_bench kolthermo_save_bench kolthermo_soak
  rm -rf "$results"
  mkdir -p "$results"
  min_time=0.5
  ((quick)) && min_time=0.05
  for bench in "$build"/bench/kolthermo_*_bench; do
    name=$(basename "$bench")
    echo "==== $name"
    "$bench" --benchmark_min_time="$min_time" --benchmark_format=console \
      --benchmark_out="$results/$name.json" --benchmark_out_format=json
  done
  echo "==== baselines (OpenCV, numpy)"
  "$python" scripts/perf_baselines.py $((quick ? 50 : 500)) >"$results/baselines.json"
  cat "$results/baselines.json"
  if ((soak)); then
    echo "==== soak, ten minutes"
    "$build"/tests/soak/kolthermo_soak --seconds 600 | tee "$results/soak.txt"
  fi
  cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
  "$python" - "$results/machine.json" "$cpu" "$quick" <<'PY'
import json, os, platform, subprocess, sys, datetime
memory = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
compiler = subprocess.run(["c++", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
json.dump({"cpu": sys.argv[2] or platform.processor(), "cores": os.cpu_count(),
           "memory": f"{memory:.0f} GiB", "kernel": "Linux " + platform.release(),
           "compiler": compiler, "date": datetime.date.today().isoformat(),
           "load": " ".join(f"{x:.2f}" for x in os.getloadavg()),
           "quick": sys.argv[3] == "1"}, open(sys.argv[1], "w"))
PY
fi
"$python" scripts/perf_report.py "$results" docs/PERFORMANCE.md
echo "wrote docs/PERFORMANCE.md"
