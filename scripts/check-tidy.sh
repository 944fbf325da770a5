#!/usr/bin/env bash
# Runs clang-tidy with the checks chosen in .clang-tidy over the library and
# tool sources (not tests, benchmarks or fuzzers); any finding fails the check.
# Uses the compile commands of a Debug configuration in build/tidy.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# Usage: scripts/check-tidy.sh [FILE-REGEX]   (default: every file under src/, tools/ and thermography/)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

files=${1:-'/(src|tools|thermography)/.*\.cpp$'}

scripts/install-deps.sh --native --tidy

cmake --preset debug -B build/tidy >/dev/null
echo "==== clang-tidy on sources matching '$files'"
run-clang-tidy -quiet -p build/tidy -j "$(nproc)" "$files" >build/tidy/clang-tidy.log 2>&1 || {
  grep -E "(warning|error):" build/tidy/clang-tidy.log | sort -u >&2 || cat build/tidy/clang-tidy.log >&2
  echo "CLANG-TIDY CHECK FAILED (full log: build/tidy/clang-tidy.log)" >&2
  exit 1
}
echo "clang-tidy check passed"
