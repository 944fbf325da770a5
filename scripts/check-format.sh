#!/usr/bin/env bash
# Fails when a C or C++ source of the project differs from what clang-format
# makes of it (style: .clang-format at the top of the tree).
# Fix with: clang-format -i FILE...
# Installs clang-format first if it is missing (see scripts/install-deps.sh).
#
# Usage: scripts/check-format.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --format

dirs=()
for dir in src include thermography tests tools bench fuzz examples; do
  [[ -d $dir ]] && dirs+=("$dir")
done
mapfile -t files < <(find "${dirs[@]}" -type f \
  \( -name '*.c' -o -name '*.cc' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) | LC_ALL=C sort)
if ((${#files[@]} == 0)); then
  echo "check-format: no sources found" >&2
  exit 1
fi

report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1) || {
  echo "$report" >&2
  echo "check-format: these files are not clang-format clean (fix: clang-format -i FILE):" >&2
  grep -o '^[^:]*:[0-9]*:[0-9]*: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/  /' >&2
  exit 1
}
echo "check-format: ${#files[@]} files clean ($(clang-format --version))"
