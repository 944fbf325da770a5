#!/usr/bin/env bash
# Runs the C API integration tests under valgrind memcheck: any invalid read
# or write, use of uninitialised memory, or leaked block (definitely or
# indirectly lost) fails the check. Uses the Debug build in build/valgrind so
# that reports name source lines.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# The blackbody measurements and the thermal stress test are left out: the
# first run the library on a clock a hundred times faster than real time, the
# second reloads tables every 15 ms while reading temperatures; a thirtyfold
# slower library can follow neither. Their code paths (table loads,
# compensation, conversion) run under memcheck in the other tests.
#
# Usage: scripts/check-valgrind.sh [GTEST_FILTER]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

filter=${1:-*-SceneTemperatures/BlackbodyTest.*:ThermalStressTest.*}

scripts/install-deps.sh --native --valgrind

cmake --preset debug -B build/valgrind >/dev/null
cmake --build build/valgrind --target kolthermo_integration_tests

# Memcheck runs every thread of a process on one core, and these tests mostly
# wait (their limits are stretched twentyfold): one process used about 0.4 of
# a core. The tests are therefore split into gtest shards, run two memcheck
# processes per core at a time, four shards per process slot so that one long
# test does not leave the others idle at the end. Every test still runs once,
# under memcheck. Each shard has its own memcheck log
# (build/valgrind/memcheck-<shard>.log) and test output (shard-<shard>.out).
jobs=${KOLTHERMO_VALGRIND_JOBS:-$((2 * $(nproc)))}
if ! [[ $jobs =~ ^[1-9][0-9]*$ ]]; then
  echo "KOLTHERMO_VALGRIND_JOBS must be a positive whole number" >&2
  exit 2
fi
shards=$((4 * jobs))
echo "==== integration tests under valgrind memcheck: $shards shards, $jobs at a time" \
  "(logs: build/valgrind/memcheck-*.log)"
rm -f build/valgrind/memcheck*.log build/valgrind/shard-*.out
run_shard() { # index
  # Valgrind slows the library some thirtyfold: the tests' clock runs at 2x
  # instead of 20x so that the driver's frame limit still outlasts a slowed
  # frame, and every real-time wait limit of the tests is stretched twentyfold.
  # Memcheck lets one thread run at a time; its default lock can hand the core
  # back to the same busy thread again and again, so the driver's stream thread
  # can starve for seconds and the library rightly reports the camera lost.
  # --fair-sched=yes hands the core round in turn.
  GTEST_TOTAL_SHARDS=$shards GTEST_SHARD_INDEX=$1 \
    KOLTHERMO_TEST_CLOCK_SCALE=${KOLTHERMO_TEST_CLOCK_SCALE:-2} \
    KOLTHERMO_TEST_TIME_SCALE=${KOLTHERMO_TEST_TIME_SCALE:-20} \
    valgrind --tool=memcheck --fair-sched=yes --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
    --track-origins=yes --num-callers=30 --log-file="build/valgrind/memcheck-$1.log" \
    build/valgrind/tests/integration/kolthermo_integration_tests --gtest_filter="$filter"
}
# Reports the shard that ends next; its failure is remembered.
declare -A running=()  # pid -> shard
failed=()
reap_one() {
  local pid status=0
  wait -n -p pid "${!running[@]}" || status=$?
  local shard=${running[$pid]}
  unset "running[$pid]"
  local out=build/valgrind/shard-$shard.out log=build/valgrind/memcheck-$shard.log
  if ((status != 0)); then
    failed+=("$shard")
    echo "VALGRIND CHECK FAILED in shard $shard (exit $status); see $log and $out:" >&2
    grep -E -B2 -A8 'Failure$' "$out" | head -60 >&2 || true
    grep -E '^\[  FAILED  \]' "$out" >&2 || true
    grep -E "ERROR SUMMARY|definitely lost|indirectly lost|Invalid|uninitialised" "$log" >&2 || true
  else
    echo "shard $shard: $(sed -n 's/^\[  PASSED  \] \(.*\)\.$/\1 passed/p' "$out")," \
      "memcheck $(grep -o 'ERROR SUMMARY: [0-9]* errors' "$log")"
  fi
}
for ((shard = 0; shard < shards; ++shard)); do
  ((${#running[@]} < jobs)) || reap_one
  run_shard "$shard" >"build/valgrind/shard-$shard.out" 2>&1 &
  running[$!]=$shard
done
while ((${#running[@]})); do reap_one; done
if ((${#failed[@]})); then
  echo "VALGRIND CHECK FAILED: shard(s) ${failed[*]}" >&2
  exit 1
fi
echo "valgrind check passed"
