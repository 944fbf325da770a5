#!/usr/bin/env bash
# Checks the dynamic symbol table of libkolthermo.so:
#   - its SONAME is the expected one (libkolthermo.so.1);
#   - it defines no dynamic symbol outside the KolThermo_* and KolThermoHost_*
#     families (no C++ runtime, no internals leaking through the version script);
#   - its KolThermo_* functions are exactly the names of the expected list;
#   - with --host-header, its KolThermoHost_* functions are exactly those that
#     the host header declares.
# Fails with a diff against the expected list.
#
# Usage: check-exports-linux.sh --lib libkolthermo.so.1 [--soname NAME] [--expected LIST]
#                               [--host-header kolthermo_host.h]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR
source "$here/lib/export-list.sh"

lib='' soname=libkolthermo.so.1 host_header=''
expected=$here/../tests/exports/kolthermo_exports.txt
while (($#)); do
  case $1 in
    --lib) lib=$2; shift 2 ;;
    --soname) soname=$2; shift 2 ;;
    --expected) expected=$2; shift 2 ;;
    --host-header) host_header=$2; shift 2 ;;
    -h | --help) sed -n '2,12p' "$0"; exit 0 ;;
    *) die "unknown argument '$1'" ;;
  esac
done
[[ -n $lib ]] || die "usage: $0 --lib FILE [--soname NAME] [--expected LIST]"
[[ -f $lib ]] || die "'$lib' does not exist (was it built?)"
for tool in nm readelf; do
  command -v $tool >/dev/null || die "'$tool' not found (install binutils)"
done

expected_names=$(read_expected_exports "$expected" | awk '{print $2}')

dynamic=$(readelf -d "$lib") || die "readelf cannot read '$lib'"
actual_soname=$(sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p' <<<"$dynamic")
[[ $actual_soname == "$soname" ]] ||
  die "'$lib' has SONAME '${actual_soname:-<none>}', expected '$soname'"

symbols=$(nm -D --defined-only "$lib" | awk 'NF >= 3 {print $3}' | sed 's/@.*//' | LC_ALL=C sort -u)
foreign=$(grep -Ev '^KolThermo(Host)?_' <<<"$symbols" || true)
if [[ -n $foreign ]]; then
  echo "symbols exported by $(basename "$lib") outside KolThermo_* and KolThermoHost_*:" >&2
  sed 's/^/  /' <<<"$foreign" >&2
  die "'$lib' exports $(wc -l <<<"$foreign") foreign symbol(s)"
fi
api_names=$(grep -E '^KolThermo_' <<<"$symbols" || true)
compare_or_die "KolThermo_* exports of $(basename "$lib")" "$expected_names" "$api_names"

host_names=$(grep -E '^KolThermoHost_' <<<"$symbols" || true)
if [[ -n $host_header ]]; then
  [[ -r $host_header ]] || die "host header '$host_header' not readable"
  declared=$(grep -o '\bKolThermoHost_[A-Za-z0-9_]*[[:space:]]*(' "$host_header" |
    sed 's/[[:space:]]*($//' | LC_ALL=C sort -u || true)
  compare_or_die "KolThermoHost_* exports of $(basename "$lib") (declared in $(basename "$host_header"))" \
    "$declared" "$host_names"
fi
host_count=$(grep -c . <<<"$host_names" || true)
echo "$(basename "$lib"): SONAME $soname; $(wc -l <<<"$api_names") KolThermo_* exports as expected," \
  "$host_count KolThermoHost_* extras, nothing else"
