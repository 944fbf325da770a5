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

log=build/valgrind/memcheck.log
echo "==== integration tests under valgrind memcheck (log: $log)"
# Valgrind slows the library some thirtyfold: the tests' clock runs at 2x
# instead of 20x so that the driver's frame limit still outlasts a slowed frame,
# and every real-time wait limit of the tests is stretched twentyfold.
KOLTHERMO_TEST_CLOCK_SCALE=${KOLTHERMO_TEST_CLOCK_SCALE:-2} \
  KOLTHERMO_TEST_TIME_SCALE=${KOLTHERMO_TEST_TIME_SCALE:-20} valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
  --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect \
  --track-origins=yes --num-callers=30 --log-file="$log" \
  build/valgrind/tests/integration/kolthermo_integration_tests --gtest_filter="$filter" \
  --gtest_brief=1 || {
  status=$?
  echo "VALGRIND CHECK FAILED (exit $status):" >&2
  grep -E "ERROR SUMMARY|definitely lost|indirectly lost|Invalid|uninitialised" "$log" >&2 || true
  exit 1
}
grep -E "ERROR SUMMARY|definitely lost|indirectly lost" "$log" || true
echo "valgrind check passed"
