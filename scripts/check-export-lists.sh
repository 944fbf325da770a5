#!/usr/bin/env bash
# Checks that the three places naming the exported functions agree with the
# expected list: the module-definition file that gives KolThermo.dll its names
# and ordinals, and the public header that declares them. Needs no build, so
# it runs on every platform before any binary is inspected.
#
# Usage: check-export-lists.sh [--def kolthermo.def] [--header kolthermo.h] [--expected LIST]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$here/..
# shellcheck source-path=SCRIPTDIR
source "$here/lib/export-list.sh"

def=$root/src/api/kolthermo.def
header=$root/include/kolthermo/kolthermo.h
expected=$root/tests/exports/kolthermo_exports.txt
while (($#)); do
  case $1 in
    --def) def=$2; shift 2 ;;
    --header) header=$2; shift 2 ;;
    --expected) expected=$2; shift 2 ;;
    -h | --help) sed -n '2,7p' "$0"; exit 0 ;;
    *) die "unknown argument '$1'" ;;
  esac
done
[[ -r $def ]] || die "'$def' not readable"
[[ -r $header ]] || die "'$header' not readable"

expected_list=$(read_expected_exports "$expected")

# .def: "  Name @ordinal" lines after EXPORTS; ';' starts a comment.
def_list=$(sed -e 's/;.*//' "$def" | awk '
  /^[[:space:]]*EXPORTS/ { inside = 1; next }
  inside && NF { ordinal = ""; for (i = 2; i <= NF; i++) if ($i ~ /^@[0-9]+$/) ordinal = substr($i, 2)
                 print (ordinal == "" ? "?" : ordinal), $1 }' | sort -n)
compare_or_die "exports of $(basename "$def") (ordinal name)" "$expected_list" "$def_list"

declared=$(grep -o '\bKolThermo_[A-Za-z0-9_]*[[:space:]]*(' "$header" | sed 's/[[:space:]]*($//' |
  LC_ALL=C sort -u || true)
compare_or_die "functions declared in $(basename "$header")" \
  "$(awk '{print $2}' <<<"$expected_list")" "$declared"

echo "export lists agree: $(wc -l <<<"$expected_list") functions in $(basename "$def") and $(basename "$header")"
