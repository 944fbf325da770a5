#!/usr/bin/env bash
# Runs every benchmark of the SDK and, in the same run, what a user would do
# instead (OpenCV false colour, a numpy lookup table; the bare encoders are
# part of the save benchmark), then writes docs/PERFORMANCE.md with the
# figures, the targets, the ratios and the machine they were measured on.
# Installs the Debian packages it needs first (scripts/install-deps.sh).
#
# Usage: scripts/perf-report.sh [--quick] [--with-soak] [--report-only]
#   --quick        short runs without repetitions (a smoke test, seconds)
#   --with-soak    also run the ten-minute soak into build/perf/soak.txt
#   --report-only  rewrite the report from the results of the last run
# The soak is usually run on its own and picked up by the next report:
#   build/perf/tests/soak/kolthermo_soak --seconds 600 > build/perf/soak.txt
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

quick=0 soak=0 report_only=0
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    --with-soak) soak=1 ;;
    --report-only) report_only=1 ;;
    -h | --help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "usage: $0 [--quick] [--with-soak] [--report-only]" >&2; exit 2 ;;
  esac
done

build=build/perf
results=$build/results
# Debian's interpreter: python3-opencv and python3-numpy install for it.
python=/usr/bin/python3
[[ -x $python ]] || python=python3
benches=(device display colour thermal frame_fetch sim save recording)
benches+=(thermography_files)
benches+=(thermography_palette)
benches+=(thermography)
# The capture path and frame-ready latency, and the memcpy floors of every row.
benches+=(capture floor)

if ((!report_only)); then
  scripts/install-deps.sh --native --perf
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOLTHERMO_BUILD_BENCHMARKS=ON \
    >/dev/null
  targets=()
  for bench in "${benches[@]}"; do targets+=("kolthermo_${bench}_bench"); done
  cmake --build "$build" --target "${targets[@]}" kolthermo_soak
  rm -rf "$results"
  mkdir -p "$results"
  # Seconds each benchmark runs for at least (this Google Benchmark takes a
  # plain number). A full run repeats every benchmark, interleaving the
  # repetitions at random, and keeps the median: the machine is shared, and
  # a busy spell would otherwise land on one benchmark of a pair compared.
  min_time=0.5 repetitions=5 repeats=1000
  if ((quick)); then min_time=0.02 repetitions=1 repeats=100; fi
  repeat_flags=()
  if ((repetitions > 1)); then
    repeat_flags=(--benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true
      --benchmark_enable_random_interleaving=true)
  fi
  machine_flags=(--build "$build" --repetitions "$repetitions")
  if ((quick)); then machine_flags+=(--quick); fi
  "$python" scripts/perf_report.py machine "$results/machine.json" "${machine_flags[@]}"
  for bench in "${targets[@]}"; do
    echo "==== $bench"
    "$build/bench/$bench" --benchmark_format=json --benchmark_min_time="$min_time" \
      "${repeat_flags[@]}" >"$results/$bench.json"
  done
  echo "==== baselines (OpenCV, numpy, bare encoders)"
  "$python" scripts/perf_baselines.py --repeats "$repeats" --results "$results" \
    >"$results/baselines.json"
  echo "==== the Python package against the C calls it wraps"
  cmake --build "$build" --target kolthermo
  "$python" scripts/perf_python.py --build "$build" --repeats "$((repeats * 3))" \
    >"$results/python.json"
  echo "==== live viewer: frame to screen in headless Chromium"
  cmake --build "$build" --target kolthermo-cli
  viewer_frames=300
  if ((quick)); then viewer_frames=60; fi
  "$python" scripts/perf_viewer.py --tool "$build/tools/cli/kolthermo" \
    --out "$results/viewer.json" --frames "$viewer_frames" ||
    echo "perf-report: the viewer benchmark failed; the report says so" >&2
  if ((soak)); then
    echo "==== soak, ten minutes"
    "$build"/tests/soak/kolthermo_soak --seconds 600 | tee "$build/soak.txt"
  fi
fi
[[ -f $results/machine.json ]] || {
  echo "perf-report: no results in $results; run without --report-only first" >&2
  exit 1
}
"$python" scripts/perf_report.py report "$results" docs/PERFORMANCE.md --soak "$build/soak.txt"
echo "perf-report: wrote docs/PERFORMANCE.md"
