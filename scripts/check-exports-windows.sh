#!/usr/bin/env bash
# Checks the export and import tables of a KolThermo DLL:
#   - the file is a PE DLL of the expected machine (PE32 i386 or PE32+ x86-64);
#   - it exports exactly the names of the expected list, undecorated (no "@n",
#     no leading underscore), each at its ordinal, and nothing by ordinal only;
#   - it imports no mingw runtime DLL (libstdc++, libgcc_s, libwinpthread or any
#     other lib*.dll), so it runs with nothing beside it.
# Fails with a diff against the expected list.
#
# Usage: check-exports-windows.sh --dll KolThermo.dll --arch i386|x86-64
#                                 [--expected LIST] [--objdump TOOL]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR
source "$here/lib/export-list.sh"

dll='' arch='' objdump=''
expected=$here/../tests/exports/kolthermo_exports.txt
while (($#)); do
  case $1 in
    --dll) dll=$2; shift 2 ;;
    --arch) arch=$2; shift 2 ;;
    --expected) expected=$2; shift 2 ;;
    --objdump) objdump=$2; shift 2 ;;
    -h | --help) sed -n '2,13p' "$0"; exit 0 ;;
    *) die "unknown argument '$1'" ;;
  esac
done
[[ -n $dll && -n $arch ]] || die "usage: $0 --dll FILE --arch i386|x86-64 [--expected LIST] [--objdump TOOL]"
[[ -f $dll ]] || die "'$dll' does not exist (was it built?)"

case $arch in
  i386) format=pei-i386 magic='010b' kind=PE32 default_objdump=i686-w64-mingw32-objdump ;;
  x86-64) format=pei-x86-64 magic='020b' kind=PE32+ default_objdump=x86_64-w64-mingw32-objdump ;;
  *) die "unknown architecture '$arch' (i386 or x86-64)" ;;
esac
objdump=${objdump:-$default_objdump}
command -v "$objdump" >/dev/null || die "'$objdump' not found (install binutils-mingw-w64)"

expected_list=$(read_expected_exports "$expected")

headers=$("$objdump" -f "$dll") || die "$objdump cannot read '$dll'"
private=$("$objdump" -p "$dll") || die "$objdump -p cannot read '$dll'"

# Machine and image kind.
grep -q "file format $format\$" <<<"$headers" ||
  die "'$dll' is not $format: $(grep 'file format' <<<"$headers")"
grep -q "^Magic[[:space:]]\+${magic}[[:space:]]\+(${kind})" <<<"$private" ||
  die "'$dll' is not a $kind image: $(grep '^Magic' <<<"$private")"
characteristics=$(grep -A12 '^Characteristics' <<<"$private" || true)
grep -q 'DLL' <<<"$characteristics" ||
  die "'$dll' is not marked as a DLL"

# Export table. objdump prints the ordinal base, then the name table as
# "[index] name" where the ordinal is base + index (newer binutils print the
# ordinal itself and say so in the table's heading).
base=$(sed -n 's/^Export Address Table -- Ordinal Base \([0-9]\+\).*/\1/p' <<<"$private")
[[ -n $base ]] || die "'$dll' has no export table"
name_table=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$private")
biased=0
grep -q '^\[Ordinal/Name Pointer\] Table -- Ordinal Base' <<<"$name_table" && biased=1
actual_list=$(sed -n 's/^[[:space:]]*\[[[:space:]]*\([0-9]\+\)\][[:space:]]\+\(.*\)$/\1 \2/p' <<<"$name_table" |
  awk -v base="$base" -v biased="$biased" '{print (biased ? $1 : $1 + base), $2}' | sort -n)
address_count=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$private" |
  grep -c 'Export RVA' || true)

decorated=$(awk '$2 ~ /@/ || $2 ~ /^_/ {print $2}' <<<"$actual_list")
[[ -z $decorated ]] || die "decorated export names in '$dll': $(tr '\n' ' ' <<<"$decorated")"
compare_or_die "export table of $(basename "$dll") (ordinal name)" "$expected_list" "$actual_list"
expected_count=$(wc -l <<<"$expected_list")
[[ $address_count == "$expected_count" ]] ||
  die "'$dll' has $address_count entries in its export address table, expected $expected_count (exports by ordinal only?)"

# Import table.
imports=$(sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' <<<"$private")
runtime=$(grep -Ei '^(lib.*|.*pthread.*)\.dll$' <<<"$imports" || true)
if [[ -n $runtime ]]; then
  echo "imports of $(basename "$dll"):" >&2
  sed 's/^/  /' <<<"$imports" >&2
  die "'$dll' imports runtime DLLs that are not part of Windows: $(tr '\n' ' ' <<<"$runtime") (link with -static)"
fi

echo "$(basename "$dll"): $kind $arch DLL, $expected_count exports at ordinals 1..$expected_count as expected;" \
  "imports only $(paste -sd, <<<"$imports" | sed 's/,/, /g')"
