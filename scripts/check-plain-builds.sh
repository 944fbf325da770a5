#!/usr/bin/env bash
# Builds the SDK the way a user or packager does, with no preset: a plain
# Release configuration (`cmake -DCMAKE_BUILD_TYPE=Release`, everything that
# builds by default), once with GCC and once with Clang. No warning may stop
# these builds; KOLTHERMO_WERROR stays at its default (off).
# The test suite is built with Clang only: every other build of the suite
# (the presets default, asan, tsan and debug) compiles it with GCC, with
# warnings as errors, and Clang compiles it nowhere else. The GCC build is the
# library, the tools and the examples, as a packager builds them.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# Usage: scripts/check-plain-builds.sh [gcc | clang]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --native

compilers=(gcc clang)
[[ $# -gt 0 ]] && compilers=("$@")
for compiler in "${compilers[@]}"; do
  case $compiler in
    gcc) cc=gcc cxx=g++ tests=OFF ;;
    clang) cc=clang cxx=clang++ tests=ON ;;
    *) echo "usage: $0 [gcc | clang]" >&2; exit 2 ;;
  esac
  build=build/plain-release-$compiler
  echo "==== plain Release build with $cxx in $build (tests $tests)"
  CC=$cc CXX=$cxx cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DKOLTHERMO_BUILD_TESTS=$tests >/dev/null
  # The generator is the default one, Unix Makefiles, which builds one file at
  # a time unless asked for more.
  if ! cmake --build "$build" --parallel "$(nproc)" >"$build/build.log" 2>&1; then
    grep -E -A3 'error:|FAILED:' "$build/build.log" | head -60 >&2
    echo "plain Release build with $cxx failed; see $build/build.log" >&2
    exit 1
  fi
  warnings=$(grep -c 'warning:' "$build/build.log" || true)
  echo "plain Release build with $cxx: built, $warnings warning(s)"
  grep 'warning:' "$build/build.log" || true
done
