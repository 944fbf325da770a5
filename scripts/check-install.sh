#!/usr/bin/env bash
# Checks the SDK as a customer receives it, installed:
#   1. builds the library (Release, build/install-check) and installs it into a
#      temporary staging prefix, then moves the tree elsewhere, so that every
#      package file has to find the installation relative to itself;
#   2. checks the installed files: exactly the expected list, the library's
#      symbolic links and exports, headers identical to the sources, no path
#      of the build or source tree and no internal target in the package files;
#   3. find_package(KolThermo): version 1.0 accepted, 2.0 refused, the imported
#      target KolThermo::kolthermo carries the include directory and no link
#      dependencies;
#   4. builds examples/ standalone against the installed CMake package, and
#      one example with plain `cc $(pkg-config --cflags --libs kolthermo)`;
#   5. runs every example against the simulated camera and checks its exit
#      status, its key output lines and the files it writes (ffprobe reads the
#      images and the video).
# Installs the Debian packages it needs first (scripts/install-deps.sh).
#
# Usage: scripts/check-install.sh [--keep]   (--keep leaves the temporary tree)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source_dir=$PWD
build=$source_dir/build/install-check

keep=0
for arg in "$@"; do
  case $arg in
    --keep) keep=1 ;;
    -h | --help) sed -n '2,19p' "$0"; exit 0 ;;
    *) echo "check-install: unknown option '$arg'" >&2; exit 2 ;;
  esac
done

fail() {
  echo "INSTALL CHECK FAILED: $*" >&2
  exit 1
}
section() {
  echo
  echo "==== $*"
}

scripts/install-deps.sh --native

work=$(mktemp -d "${TMPDIR:-/tmp}/kolthermo-install-check.XXXXXX")
if ((keep)); then
  echo "check-install: keeping $work"
else
  trap 'rm -rf "$work"' EXIT
fi
prefix=$work/prefix

section "build and install"
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKOLTHERMO_BUILD_TESTS=OFF -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include
# Only the installed targets: the tests, the static library and the in-tree
# examples are no part of the package.
cmake --build "$build" --target kolthermo kolthermo_thermography kolthermo-table kolthermo-cli
cmake --install "$build" --prefix "$work/staging"
mv "$work/staging" "$prefix"

section "installed files"
expected_files="bin/kolthermo
bin/kolthermo-table
include/kolthermo/kolthermo.h
include/kolthermo/kolthermo_host.h
include/kolthermo/kolthermo_measure.h
include/kolthermo/kolthermo_palette.h
include/kolthermo/kolthermo_radiometric.h
include/kolthermo/kolthermo_thermography.h
lib/cmake/KolThermo/KolThermoConfig.cmake
lib/cmake/KolThermo/KolThermoConfigVersion.cmake
lib/cmake/KolThermo/KolThermoTargets-release.cmake
lib/cmake/KolThermo/KolThermoTargets.cmake
lib/libkolthermo.so
lib/libkolthermo.so.1
lib/libkolthermo.so.1.0.0
lib/libkolthermo_thermography.so
lib/libkolthermo_thermography.so.1
lib/libkolthermo_thermography.so.1.0.0
lib/pkgconfig/kolthermo.pc"
installed_files=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
if [[ $installed_files != "$expected_files" ]]; then
  diff -u --label expected --label installed <(echo "$expected_files") <(echo "$installed_files") >&2 || true
  fail "the installed files differ from the expected list"
fi
[[ $(readlink "$prefix/lib/libkolthermo.so") == libkolthermo.so.1 ]] ||
  fail "lib/libkolthermo.so does not point to libkolthermo.so.1"
[[ $(readlink "$prefix/lib/libkolthermo.so.1") == libkolthermo.so.1.0.0 ]] ||
  fail "lib/libkolthermo.so.1 does not point to libkolthermo.so.1.0.0"
[[ -f $prefix/lib/libkolthermo.so.1.0.0 && ! -L $prefix/lib/libkolthermo.so.1.0.0 ]] ||
  fail "lib/libkolthermo.so.1.0.0 is not a regular file"
for header in kolthermo.h kolthermo_host.h kolthermo_thermography.h kolthermo_measure.h \
  kolthermo_palette.h kolthermo_radiometric.h; do
  cmp -s "include/kolthermo/$header" "$prefix/include/kolthermo/$header" ||
    fail "installed $header differs from include/kolthermo/$header"
done
scripts/check-exports-linux.sh --lib "$prefix/lib/libkolthermo.so.1" --soname libkolthermo.so.1 \
  --host-header "$prefix/include/kolthermo/kolthermo_host.h"
scripts/check-thermography-exports.sh --lib "$prefix/lib/libkolthermo_thermography.so.1"
# The package files must locate the tree relative to themselves, and the
# shared library's interface holds nothing a host would have to link.
package_files=("$prefix"/lib/cmake/KolThermo/*.cmake "$prefix/lib/pkgconfig/kolthermo.pc")
if grep -lF -e "$source_dir" -e "$work/staging" "${package_files[@]}"; then
  fail "the package files above name the source, build or staging tree"
fi
if grep -nE 'kolthermo_(objects|sim|static|warnings|image_libraries)|Threads::|JPEG::|PNG::|TIFF::|INTERFACE_LINK_LIBRARIES' \
  "$prefix"/lib/cmake/KolThermo/KolThermoTargets*.cmake; then
  fail "the exported target carries link dependencies or internal targets (lines above)"
fi
echo "installed files as expected"

section "find_package(KolThermo)"
mkdir -p "$work/probe"
cat >"$work/probe/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(KolThermoPackageProbe LANGUAGES NONE)
find_package(KolThermo ${WANTED_VERSION} QUIET)
if(KolThermo_FOUND)
  get_target_property(includes KolThermo::kolthermo INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(links KolThermo::kolthermo INTERFACE_LINK_LIBRARIES)
  get_target_property(type KolThermo::kolthermo TYPE)
  get_target_property(companion KolThermo::thermography TYPE)
  message(STATUS "probe: found ${KolThermo_VERSION} ${type} includes=${includes} links=${links} thermography=${companion}")
else()
  message(STATUS "probe: not found")
endif()
EOF
probe() {
  cmake -S "$work/probe" -B "$work/probe-build-$1" -DWANTED_VERSION="$1" \
    -DCMAKE_PREFIX_PATH="$prefix" | sed -n 's/^-- probe: //p'
}
found=$(probe 1.0)
echo "version 1.0: $found"
[[ $found == "found 1.0.0 SHARED_LIBRARY includes=$prefix/include links=links-NOTFOUND thermography=SHARED_LIBRARY" ]] ||
  fail "find_package(KolThermo 1.0) gave '$found'"
found=$(probe 2.0)
echo "version 2.0: $found"
[[ $found == "not found" ]] || fail "find_package(KolThermo 2.0) accepted version 1"

section "examples built against the installed package"
cmake -S examples -B "$work/examples" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix"
grep -qxF "KolThermo_DIR:PATH=$prefix/lib/cmake/KolThermo" "$work/examples/CMakeCache.txt" ||
  fail "the examples did not find the installed package"
cmake --build "$work/examples"

section "an example built with pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
version=$(pkg-config --modversion kolthermo)
[[ $version == 1.0.0 ]] || fail "pkg-config reports version '$version'"
# shellcheck disable=SC2046 # pkg-config prints several words by design
cc -std=c99 -Wall -Wextra -Werror -pedantic -o "$work/preview_messages_pkgconfig" \
  examples/preview_messages.c $(pkg-config --cflags --libs kolthermo)
echo "built preview_messages with: $(pkg-config --cflags --libs kolthermo)"

section "examples against the simulated camera"
export LD_LIBRARY_PATH=$prefix/lib
run_dir=$work/run
mkdir -p "$run_dir/stills"
cd "$run_dir"

# run NAME EXPECTED_STATUS PROGRAM [ARGS...]: runs a program, shows its output
# (kept in NAME.log) and checks that it loads the installed library.
run() {
  local name=$1 expected=$2 program=$3
  shift 3
  # ldd's whole output is taken first: with pipefail, `ldd | grep -q` fails
  # whenever grep stops reading before ldd has written its last line.
  local libraries
  libraries=$(ldd "$program") || fail "ldd cannot read $name"
  grep -qF "libkolthermo.so.1 => $prefix/lib/libkolthermo.so.1" <<<"$libraries" ||
    fail "$name does not load the installed library"
  echo "---- $name $*"
  local status=0
  timeout 60 "$program" "$@" >"$name.log" 2>&1 || status=$?
  sed 's/^/  | /' "$name.log"
  [[ $status == "$expected" ]] || fail "$name exited with $status, expected $expected"
}
# expect_lines NAME COUNT REGEX: NAME's output has exactly COUNT lines matching.
expect_lines() {
  local count
  count=$(grep -cE "$3" "$1.log" || true)
  [[ $count == "$2" ]] || fail "$1: $count line(s) match '$3', expected $2"
}
# ffprobe_stream FILE ENTRIES: the first video stream's entries, comma-separated.
ffprobe_stream() {
  ffprobe -v error -select_streams v:0 -show_entries "stream=$2" -of csv=p=0 "$1"
}
magic() { head -c "$2" "$1" | od -An -tx1 | tr -d ' \n'; }

examples=$work/examples
run hello_kolthermo 0 "$examples/hello_kolthermo"
expect_lines hello_kolthermo 1 '^KolThermo library version 1967181 '
expect_lines hello_kolthermo 1 '^instance -?[0-9]+ released$'

run enumerate 0 "$examples/enumerate"
expect_lines enumerate 1 '^slot 0: KolThermoV7R2K'
expect_lines enumerate 7 '^slot [1-7]: empty$'
expect_lines enumerate 1 '^1 camera\(s\) found$'
expect_lines enumerate 1 '^selected the camera at slot 0$'

# Without a table every temperature is "none".
run preview_messages 0 "$examples/preview_messages" 10
expect_lines preview_messages 10 '^frame -?[0-9]+ ready: centre raw [0-9]+, -999\.0 C$'
expect_lines preview_messages 1 '^event code 10: not supported$'
expect_lines preview_messages 1 '^10 frame\(s\) fetched$'

"$prefix/bin/kolthermo-table" --layout 4000 --output camera.tbl
# The installed command-line tool finds the installed library by itself.
env -u LD_LIBRARY_PATH "$prefix/bin/kolthermo" list >cli_list.log 2>&1 ||
  fail "the installed kolthermo failed: $(cat cli_list.log)"
grep -qx '1 camera found' cli_list.log || fail "the installed kolthermo listed no camera: $(cat cli_list.log)"
run preview_messages_pkgconfig 0 "$work/preview_messages_pkgconfig" 5 camera.tbl
expect_lines preview_messages_pkgconfig 5 '^frame -?[0-9]+ ready: centre raw [0-9]+, [0-9]+\.[0-9] C$'

run temperature_stats 0 "$examples/temperature_stats" camera.tbl 5
number='-?[0-9]+\.[0-9]{2}'
expect_lines temperature_stats 5 \
  "^frame [1-5]: min $number C, max $number C, mean $number C, centre $number C \(110592 pixels\)$"
# The simulated room: a person, a hot mug and a cold pack, all within the
# camera's range, with the mean between the extremes.
awk '/^frame/ {
  gsub(/[(),]/, ""); min = $4; max = $7; mean = $10; centre = $13
  if (!(min >= -40 && max <= 250 && min < mean && mean < max && min <= centre && centre <= max)) {
    print "implausible statistics: " $0; bad = 1
  }
} END { exit bad }' temperature_stats.log || fail "temperature_stats: implausible temperatures"
run temperature_stats_no_table 1 "$examples/temperature_stats" missing.tbl
expect_lines temperature_stats_no_table 1 'cannot load missing.tbl: event code 9 '

run save_still 0 "$examples/save_still" stills
expect_lines save_still 1 '^6 of 6 files saved$'
[[ $(magic stills/frame.bmp 2) == 424d && $(stat -c %s stills/frame.bmp) == 331830 ]] ||
  fail "stills/frame.bmp is not the 384 x 288 BMP"
[[ $(magic stills/frame.jpg 3) == ffd8ff ]] || fail "stills/frame.jpg is not a JPEG file"
for png in frame.png frame_raw.png; do
  [[ $(magic "stills/$png" 8) == 89504e470d0a1a0a ]] || fail "stills/$png is not a PNG file"
done
[[ $(ffprobe_stream stills/frame.jpg width,height) == 384,288 ]] ||
  fail "stills/frame.jpg does not decode as 384 x 288"
[[ $(ffprobe_stream stills/frame.png width,height,pix_fmt) == 384,288,rgb24 ]] ||
  fail "stills/frame.png does not decode as 384 x 288 RGB"
[[ $(ffprobe_stream stills/frame_raw.png width,height,pix_fmt) == 384,288,gray16be ]] ||
  fail "stills/frame_raw.png does not decode as 384 x 288 16-bit grey"
# The PNG holds exactly the BMP's picture, and that picture shows a scene, not
# one colour (as a frame coloured through a window that misses the scene does).
rgb_of() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgb24 -; }
[[ $(rgb_of stills/frame.png | md5sum) == $(rgb_of stills/frame.bmp | md5sum) ]] ||
  fail "stills/frame.png and stills/frame.bmp hold different pictures"
colours=$(rgb_of stills/frame.bmp | od -An -v -tx1 -w3 | sort -u | wc -l)
echo "stills/frame.bmp: $colours colours"
((colours >= 16)) || fail "stills/frame.bmp shows only $colours colour(s)"
[[ $(stat -c %s stills/frame_raw.bin) == 221184 ]] || fail "stills/frame_raw.bin has the wrong size"
[[ $(stat -c %s stills/frame_celsius.f32) == 442368 ]] ||
  fail "stills/frame_celsius.f32 has the wrong size"

run record 0 "$examples/record" clip.avi 30
expect_lines record 1 '^recording open: yes$'
summary_line='^recorded ([0-9]+) or more frames to clip\.avi \(([0-9]+) bytes\)$'
[[ $(tail -n 1 record.log) =~ $summary_line ]] || fail "record: no summary line"
counted=${BASH_REMATCH[1]}
reported_bytes=${BASH_REMATCH[2]}
[[ $reported_bytes == $(stat -c %s clip.avi) ]] || fail "record: reported size differs from the file"
[[ $(ffprobe_stream clip.avi codec_name,width,height) == rawvideo,384,288 ]] ||
  fail "clip.avi is not a 384 x 288 uncompressed video"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
  -of csv=p=0 clip.avi)
echo "clip.avi: $frames frames decoded"
((frames >= counted && frames <= counted + 30)) ||
  fail "clip.avi holds $frames frames; the example saw $counted published while recording"

echo
echo "install check passed"
