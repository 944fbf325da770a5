#!/usr/bin/env bash
# Builds the SDK with the sanitizers and runs the whole native test suite under
# each: "asan" (AddressSanitizer + UndefinedBehaviorSanitizer, any report is
# fatal) and "tsan" (ThreadSanitizer). Presets and options: CMakePresets.json.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# Usage: scripts/check-sanitizers.sh [asan] [tsan]   (default: both)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

presets=("$@")
((${#presets[@]})) || presets=(asan tsan)
for preset in "${presets[@]}"; do
  case $preset in
    asan | tsan) ;;
    *) echo "usage: $0 [asan] [tsan]" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh --native

# ctest runs the tests it knows to be long first when it has their times from
# an earlier run (Testing/Temporary/CTestCostData.txt); without them it runs
# them in order and the longest, which come last, leave a core idle at the
# end. A fresh sanitizer build borrows the times of the native build's run
# (scripts/test.sh) when there is one: the same tests, in the same proportions.
native_costs=build/default/Testing/Temporary/CTestCostData.txt
for preset in "${presets[@]}"; do
  echo "==== $preset: configure, build, test"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  costs=build/$preset/Testing/Temporary/CTestCostData.txt
  if [[ -f $native_costs && ! -f $costs ]]; then
    mkdir -p "$(dirname "$costs")"
    cp "$native_costs" "$costs"
  fi
  ctest --preset "$preset" -j "$(nproc)"
done
echo "sanitizer checks passed: ${presets[*]}"
