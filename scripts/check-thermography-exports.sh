#!/usr/bin/env bash
# Checks the exported interface of the thermography companion library:
#   - the expected list (tests/exports/thermography_exports.txt), the .def
#     file (names and ordinals of KolThermoThermography.dll), the version
#     script and the functions its four public headers declare all agree;
#   - with --lib, libkolthermo_thermography.so.1 has its SONAME and defines
#     exactly the expected functions as dynamic symbols, nothing else.
# The DLL's own table is checked by check-exports-windows.sh with this list.
#
# Usage: check-thermography-exports.sh [--lib libkolthermo_thermography.so.1]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$here/..
# shellcheck source-path=SCRIPTDIR
source "$here/lib/export-list.sh"

lib=''
while (($#)); do
  case $1 in
    --lib) lib=$2; shift 2 ;;
    -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
    *) die "unknown argument '$1'" ;;
  esac
done

expected_list=$(read_expected_exports "$root/tests/exports/thermography_exports.txt")
expected_names=$(awk '{print $2}' <<<"$expected_list")

def=$root/thermography/kolthermo_thermography.def
def_list=$(sed -e 's/;.*//' "$def" | awk '
  /^[[:space:]]*EXPORTS/ { inside = 1; next }
  inside && NF { ordinal = ""; for (i = 2; i <= NF; i++) if ($i ~ /^@[0-9]+$/) ordinal = substr($i, 2)
                 print (ordinal == "" ? "?" : ordinal), $1 }' | sort -n)
compare_or_die "exports of $(basename "$def") (ordinal name)" "$expected_list" "$def_list"

map=$root/thermography/kolthermo_thermography.map
map_names=$(sed -n 's/^[[:space:]]*\(KolThermo[A-Za-z0-9_]*\);.*/\1/p' "$map" | LC_ALL=C sort -u)
compare_or_die "global names of $(basename "$map")" "$expected_names" "$map_names"

headers=("$root"/include/kolthermo/kolthermo_{thermography,measure,palette,radiometric}.h)
declared=$(cat "${headers[@]}" | tr '\n' ' ' |
  grep -oE 'KOLTHERMO_THERMO_CALL[[:space:]]+KolThermo[A-Za-z0-9]*[[:space:]]*\(' |
  sed -E 's/^KOLTHERMO_THERMO_CALL[[:space:]]+//; s/[[:space:]]*\($//' | LC_ALL=C sort -u)
compare_or_die "functions declared in the thermography headers" "$expected_names" "$declared"

if [[ -n $lib ]]; then
  [[ -f $lib ]] || die "'$lib' does not exist (was it built?)"
  soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [[ $soname == libkolthermo_thermography.so.1 ]] ||
    die "'$lib' has SONAME '${soname:-<none>}', expected libkolthermo_thermography.so.1"
  symbols=$(nm -D --defined-only "$lib" | awk 'NF >= 3 {print $3}' | sed 's/@.*//' | LC_ALL=C sort -u)
  compare_or_die "dynamic symbols of $(basename "$lib")" "$expected_names" "$symbols"
fi
echo "thermography exports agree: $(wc -l <<<"$expected_list") functions"
