#!/usr/bin/env bash
# Windows checks, all cross-built with mingw-w64 on Linux:
#   1. builds the shipped 32-bit KolThermo.dll (preset mingw-i686) and checks its
#      export and import tables (32-bit programs cannot run here, so the DLL is
#      only inspected);
#   2. builds the 64-bit test build (preset mingw-x64) and runs its test suite
#      under wine64 through ctest.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
# The first configure of each preset cross-builds the static JPEG, PNG and TIFF
# libraries for its triplet into $KOLTHERMO_WINDOWS_DEPS_DIR (default
# build/windows-deps; see docs/BUILDING.md); later runs reuse them.
#
# Usage: scripts/check-windows.sh [--dll-only | --tests-only]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

do_dll=1 do_tests=1
case ${1:-} in
  --dll-only) do_tests=0 ;;
  --tests-only) do_dll=0 ;;
  "") ;;
  *) echo "usage: $0 [--dll-only | --tests-only]" >&2; exit 2 ;;
esac

scripts/install-deps.sh --native --windows

if ((do_dll)); then
  echo "==== KolThermo.dll (32-bit, mingw-w64 i686)"
  cmake --preset mingw-i686
  cmake --build --preset mingw-i686 --target kolthermo hello_kolthermo
  scripts/check-exports-windows.sh --dll build/mingw-i686/KolThermo.dll --arch i386
fi

if ((do_tests)); then
  echo "==== Windows test build (64-bit, mingw-w64 x86_64, run under wine64)"
  cmake --preset mingw-x64
  cmake --build --preset mingw-x64

  # The same environment as the mingw-x64 test preset. Creating the wine prefix
  # up front keeps its few seconds of set-up out of the first test's time.
  export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
  export WINEPREFIX=$PWD/build/mingw-x64/wineprefix
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "creating wine prefix $WINEPREFIX"
    /usr/lib/wine/wine64 wineboot --init
    /usr/lib/wine/wineserver -w
  fi
  ctest --preset mingw-x64
fi
