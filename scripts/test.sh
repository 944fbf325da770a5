#!/usr/bin/env bash
# Builds the SDK and runs the whole native test suite (the "default" preset:
# RelWithDebInfo in build/default), then prints a summary.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# Usage: scripts/test.sh [extra ctest arguments, e.g. -R Registry]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --native

cmake --preset default
cmake --build --preset default

log=build/default/test.log
status=0
ctest --preset default -j "$(nproc)" "$@" 2>&1 | tee "$log" || status=$?

# ctest's own closing line reads "N% tests passed, F tests failed out of T";
# skipped tests count among its passes, so report them apart.
total=$(sed -n 's/.*tests passed, [0-9]\+ tests\? failed out of \([0-9]\+\).*/\1/p' "$log" | tail -1)
failed=$(sed -n 's/.*tests passed, \([0-9]\+\) tests\? failed out of [0-9]\+.*/\1/p' "$log" | tail -1)
skipped=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" | grep -c '^[[:space:]]*[0-9]\+ - ' || true)
echo
echo "==================== KolThermo native test summary ===================="
if [[ -z $total ]]; then
  echo "ctest ran no test or stopped early (exit status $status); see $log"
  ((status != 0)) || status=1
else
  if ((failed > 0)); then
    echo "failed tests:"
    sed -n '/^The following tests FAILED:/,/^$/p' "$log" | grep -E '^[[:space:]]+[0-9]+ - ' || true
  fi
  echo "Summary: $((total - failed - skipped)) passed, $failed failed, $skipped skipped"
  echo "full log: $log"
fi
exit "$status"
