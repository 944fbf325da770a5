#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the "fuzz" preset: the library
# instrumented with -fsanitize=fuzzer-no-link,address,undefined, in build/fuzz)
# and runs each for a bounded time on a fresh copy of its committed seed
# corpus. Any crash, sanitizer report, leak or timeout fails the check; the
# input that caused it is left in build/fuzz/artifacts/.
# Installs the Debian packages it needs first (scripts/install-deps.sh --fuzz).
#
# The seed corpus fuzz/corpus/table_loader/ holds small tables of every layout
# written by kolthermo-table (--points keeps them small) and a few cut short.
#
# Usage: scripts/check-fuzz.sh [SECONDS]   (default 60 per target, or
#        $KOLTHERMO_FUZZ_SECONDS)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-${KOLTHERMO_FUZZ_SECONDS:-60}}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS]   (a positive whole number of seconds per target)" >&2
  exit 2
fi

# target:corpus directory under fuzz/corpus
fuzzers=(table_loader_fuzzer:table_loader host_window_fuzzer:host_window avi_writer_fuzzer:avi_writer still_saving_fuzzer:still_saving)

scripts/install-deps.sh --fuzz

cmake --preset fuzz
cmake --build --preset fuzz --target "${fuzzers[@]%%:*}"

build=build/fuzz
artifacts=$build/artifacts
mkdir -p "$artifacts"

# Runs one target on a copy of its corpus, its output in $build/<target>.log.
# Work on a copy: the run adds the inputs it finds, and the committed corpus
# stays the small reviewed set.
fuzz_one() { # target corpus
  local target=$1 corpus=$2 work=$build/corpus/$2
  rm -rf "$work"
  mkdir -p "$work"
  cp fuzz/corpus/"$corpus"/* "$work"/
  echo "==== $target: ${seconds} s on $(find "$work" -type f | wc -l) seed inputs"
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$work"
}

# libFuzzer runs one process on one core: the targets run side by side, as
# many at once as there are cores, each for its full time. Their logs are
# printed whole, one after another, as each ends.
jobs=$(nproc)
declare -A running=()  # pid -> target
failed=()
reap_one() {
  local pid status=0
  wait -n -p pid "${!running[@]}" || status=$?
  local target=${running[$pid]}
  unset "running[$pid]"
  cat "$build/$target.log"
  if ((status != 0)); then
    echo "FUZZ CHECK FAILED: $target exited with status $status" >&2
    failed+=("$target")
  fi
}
for entry in "${fuzzers[@]}"; do
  ((${#running[@]} < jobs)) || reap_one
  target=${entry%%:*}
  fuzz_one "$target" "${entry#*:}" >"$build/$target.log" 2>&1 &
  running[$!]=$target
done
while ((${#running[@]})); do reap_one; done

if ((${#failed[@]})); then
  echo "FUZZ CHECK FAILED: ${failed[*]}; reproducing inputs:" >&2
  for target in "${failed[@]}"; do
    find "$artifacts" -name "$target-*" -type f >&2 || true
  done
  exit 1
fi
echo "fuzz checks passed: ${fuzzers[*]%%:*} (${seconds} s each)"
