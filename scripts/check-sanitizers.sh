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

for preset in "${presets[@]}"; do
  echo "==== $preset: configure, build, test"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j "$(nproc)"
done
echo "sanitizer checks passed: ${presets[*]}"
