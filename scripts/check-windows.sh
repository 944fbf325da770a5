#!/usr/bin/env bash
# Windows checks, all cross-built with mingw-w64 on Linux:
#   dll  builds the shipped 32-bit KolThermo.dll (preset mingw-i686: Release,
#        no tests) and checks its export and import tables;
#   x86  builds the same DLL with the test suite (preset mingw-i686-tests: the
#        shipped compiler, flags and build type; with dll, checks that both
#        DLLs are the same image) and runs the suite under 32-bit wine
#        (Debian's wine32);
#   x64  builds the 64-bit test build (preset mingw-x64) and runs its suite
#        under wine64.
# Each suite runs one test at a time (wine slows every host call) in a wine
# prefix of its own, build/<preset>/wineprefix. The suites mostly wait on
# wine and on their tests' clocks and use little processor time, so each
# starts in the background as soon as it is built: the 32-bit suite runs
# while the 64-bit build compiles (at a lower priority), and the two suites
# overlap. Each one's output goes to build/<preset>/suite.log and is printed
# when it ends. The time of each part is printed at its end and once more in
# a summary.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
# The first configure of each triplet cross-builds the static JPEG, PNG and
# TIFF libraries into $KOLTHERMO_WINDOWS_DEPS_DIR (default build/windows-deps;
# see docs/BUILDING.md); later runs reuse them.
#
# Usage: scripts/check-windows.sh [PART...]   (PART: dll, x86, x64; default all)
#        --dll-only and --tests-only (x86 and x64) are kept as before.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

usage() {
  echo "usage: $0 [dll] [x86] [x64] | --dll-only | --tests-only" >&2
  exit 2
}
parts=()
for arg in "$@"; do
  case $arg in
    dll | x86 | x64) parts+=("$arg") ;;
    --dll-only) parts+=(dll) ;;
    --tests-only) parts+=(x86 x64) ;;
    *) usage ;;
  esac
done
((${#parts[@]})) || parts=(dll x86 x64)
wants() { [[ " ${parts[*]} " == *" $1 "* ]]; }

scripts/install-deps.sh --native --windows

summary=()
finish_part() { # name, start second
  local took=$((SECONDS - $2))
  summary+=("$(printf '%-40s %3d min %02d s' "$1" $((took / 60)) $((took % 60)))")
  echo "==== $1: $((took / 60)) min $((took % 60)) s"
}

# Creates the wine prefix of a test preset up front, so that its few seconds
# of set-up are not charged to the first test. Same environment as the test
# presets in CMakePresets.json.
make_wine_prefix() { # loader, prefix, [WINEARCH]
  local loader=$1 prefix=$2
  local arch=()  # wine refuses an empty WINEARCH
  [[ -n ${3:-} ]] && arch=("WINEARCH=$3")
  [[ -f $prefix/system.reg ]] && return 0
  echo "creating wine prefix $prefix"
  env "${arch[@]}" WINEPREFIX="$prefix" "$loader" wineboot --init
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
}
export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='

if wants dll; then
  start=$SECONDS
  echo "==== KolThermo.dll (32-bit, mingw-w64 i686, Release)"
  cmake --preset mingw-i686
  cmake --build --preset mingw-i686 --target kolthermo hello_kolthermo
  scripts/check-exports-windows.sh --dll build/mingw-i686/KolThermo.dll --arch i386
  finish_part "KolThermo.dll build and export check" "$start"
fi

# A suite runs in the background, its output in build/<preset>/suite.log,
# printed whole when it ends (finish_suites). A suite still running when the
# script stops on a failure is stopped with it.
declare -A suite_of=()        # pid -> preset
declare -A suite_label=()     # preset -> what it is
trap 'for pid in "${!suite_of[@]}"; do kill "$pid" 2>/dev/null || true; done' EXIT
start_suite() { # preset, label
  suite_label[$1]=$2
  echo "==== $2: started (output in build/$1/suite.log)"
  # The suite's own duration, for the summary: it may end long before the
  # script gets round to printing it.
  (
    started=$SECONDS
    status=0
    ctest --preset "$1" >"build/$1/suite.log" 2>&1 || status=$?
    echo $((SECONDS - started)) >"build/$1/suite.seconds"
    exit "$status"
  ) &
  suite_of[$!]=$1
}
finish_suites() {
  local failed=() pid preset status
  while ((${#suite_of[@]})); do
    status=0
    wait -n -p pid "${!suite_of[@]}" || status=$?
    preset=${suite_of[$pid]}
    unset "suite_of[$pid]"
    echo "==== ${suite_label[$preset]} (build/$preset/suite.log):"
    cat "build/$preset/suite.log"
    finish_part "${suite_label[$preset]}" \
      $((SECONDS - $(cat "build/$preset/suite.seconds" 2>/dev/null || echo 0)))
    ((status == 0)) || failed+=("${suite_label[$preset]}")
  done
  if ((${#failed[@]})); then
    printf '%s\n' "${summary[@]}"
    echo "WINDOWS CHECK FAILED: ${failed[*]}" >&2
    exit 1
  fi
}

if wants x86; then
  start=$SECONDS
  echo "==== 32-bit test build (mingw-w64 i686, run under 32-bit wine)"
  cmake --preset mingw-i686-tests
  cmake --build --preset mingw-i686-tests
  if wants dll; then
    # The suite tests the shipped DLL: the test build links the same image,
    # apart from the time stamps and checksum of each link.
    scripts/same-pe-image.py build/mingw-i686/KolThermo.dll build/mingw-i686-tests/KolThermo.dll
    echo "build/mingw-i686-tests/KolThermo.dll is the shipped image"
  fi
  finish_part "32-bit test build" "$start"
  make_wine_prefix /usr/lib/wine/wine "$PWD/build/mingw-i686-tests/wineprefix" win32
  start_suite mingw-i686-tests "32-bit suite under wine"
fi

if wants x64; then
  start=$SECONDS
  echo "==== 64-bit test build (mingw-w64 x86_64, run under wine64)"
  cmake --preset mingw-x64
  # The 32-bit suite may be running meanwhile: the build yields the processor
  # to it, so that the suite's tests see the machine they would see alone
  # (they use about a quarter of one core).
  nice -n 10 cmake --build --preset mingw-x64
  finish_part "64-bit test build" "$start"
  make_wine_prefix /usr/lib/wine/wine64 "$PWD/build/mingw-x64/wineprefix"
  start_suite mingw-x64 "64-bit suite under wine64"
fi

finish_suites

echo "==== Windows checks passed"
printf '%s\n' "${summary[@]}"
