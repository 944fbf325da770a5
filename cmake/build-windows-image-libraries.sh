#!/usr/bin/env bash
# Cross-builds the static JPEG, PNG and TIFF libraries that the Windows builds
# link (libjpeg-turbo, libpng 1.6, libtiff 4), and FreeType for the
# thermography library's colour scale, from Debian's source packages, with the
# mingw-w64 "posix" compilers, and installs them into PREFIX.
#
# Usage: build-windows-image-libraries.sh TRIPLET PREFIX
#   TRIPLET  i686-w64-mingw32 or x86_64-w64-mingw32
#   PREFIX   install prefix, normally <deps dir>/<triplet>
#
# - The source packages are fetched with `apt-get source` into <deps dir>/sources
#   (the folder beside PREFIX), shared by both triplets and re-used when present;
#   only packages missing there are fetched.
#   When the system has no deb-src entry, one is added beside debian.sources
#   (same URIs, suites, components and key) and the package lists are updated.
# - zlib is not built: libpng uses the static libz.a of libz-mingw-w64-dev.
# - FreeType is built without its optional dependencies (zlib, bzip2, libpng,
#   HarfBuzz, Brotli): the colour scale draws plain TrueType outlines only.
# - PREFIX/kolthermo-image-libraries.stamp records the triplet, the source
#   package versions and a checksum of this script. When it matches, nothing is
#   done; when it does not, PREFIX is rebuilt from scratch.
# - Concurrent runs on the same deps dir wait for each other (flock).
# - Quiet: one line per step; a failing step prints the end of its log.
#
# Environment: KOLTHERMO_DEPS_JOBS (parallel compile jobs, default 2).
set -euo pipefail

progress() { echo "windows-image-libraries: $*"; }
die() {
  echo "windows-image-libraries: error: $*" >&2
  exit 1
}

(($# == 2)) || die "usage: $0 i686-w64-mingw32|x86_64-w64-mingw32 PREFIX"
triplet=$1
case $triplet in
  i686-w64-mingw32) toolchain_name=mingw-i686 ;;
  x86_64-w64-mingw32) toolchain_name=mingw-x86_64 ;;
  *) die "unknown triplet '$triplet' (i686-w64-mingw32 or x86_64-w64-mingw32)" ;;
esac
[[ -n $2 ]] || die "empty prefix"

script=$(realpath "${BASH_SOURCE[0]}")
here=$(dirname "$script")
toolchain=$here/toolchains/$toolchain_name.cmake
prefix=$(realpath -m "$2")
deps_dir=$(dirname "$prefix")
sources_dir=$deps_dir/sources
work_dir=$deps_dir/work-$triplet
stamp=$prefix/kolthermo-image-libraries.stamp
jobs=${KOLTHERMO_DEPS_JOBS:-2}
source_packages=(libjpeg-turbo libpng1.6 tiff freetype)
zlib=/usr/$triplet/lib/libz.a
deb_src_file=/etc/apt/sources.list.d/kolthermo-deb-src.sources

for tool in "$triplet-gcc-posix" cmake ninja flock dpkg-source; do
  command -v "$tool" >/dev/null ||
    die "'$tool' not found (scripts/install-deps.sh --windows installs what is needed)"
done
[[ -f $zlib ]] || die "$zlib not found (install libz-mingw-w64-dev)"
[[ -f $toolchain ]] || die "toolchain file $toolchain not found"

as_root=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || die "not root and sudo is missing: cannot enable deb-src"
  as_root=(sudo)
fi

# Runs a command with its output in a log file; on failure shows the log's end.
run_logged() {
  local log=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    echo "windows-image-libraries: '$*' failed; end of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

mkdir -p "$deps_dir"
exec 9>"$deps_dir/.lock"
if ! flock -n 9; then
  progress "waiting for another build in $deps_dir"
  flock 9
fi

# ---- sources ----------------------------------------------------------------

source_index_available() {
  apt-cache showsrc --only-source libpng1.6 2>/dev/null | grep '^Package:' >/dev/null
}

enable_deb_src() {
  source_index_available && return 0
  if [[ ! -f $deb_src_file ]]; then
    local system_sources=/etc/apt/sources.list.d/debian.sources
    [[ -f $system_sources ]] || die "$system_sources not found: add a deb-src entry by hand"
    progress "enabling deb-src in $deb_src_file"
    sed 's/^Types:.*/Types: deb-src/' "$system_sources" |
      "${as_root[@]}" tee "$deb_src_file" >/dev/null
  fi
  progress "updating the package lists"
  run_logged "$deps_dir/apt.log" "${as_root[@]}" apt-get -qq update
  source_index_available || die "no source package index after apt-get update (see $deps_dir/apt.log)"
}

# Fetches one source package into the current folder: the newest version
# first (it carries the security fixes), else the release suite's, since the
# mirror may lack an update's source files.
fetch_package() {
  local package=$1 codename=$2 log=$deps_dir/apt.log
  mkdir newest
  if (cd newest && apt-get -q source --download-only "$package" >>"$log" 2>&1); then
    mv newest/* .
  else
    progress "  $package: newest source not available, taking the $codename release's"
    (cd newest && rm -f ./* && run_logged "$log" apt-get -q source --download-only "$package/$codename")
    mv newest/* .
  fi
  rmdir newest
}

# Fetches the packages whose .dsc is missing. Each goes to a temporary folder
# first and its .dsc is moved into the cache last, so a package counts as
# present only when all its files are.
fetch_sources() {
  enable_deb_src
  local codename download=$sources_dir.download package
  # shellcheck source=/dev/null
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mkdir -p "$sources_dir"
  for package in "${source_packages[@]}"; do
    dsc_of "$package" >/dev/null && continue
    progress "fetching the $package source package into $sources_dir"
    rm -rf "$download"
    mkdir -p "$download"
    (cd "$download" && fetch_package "$package" "$codename")
    find "$download" -maxdepth 1 -type f ! -name '*.dsc' -exec mv -f {} "$sources_dir/" \;
    mv -f "$download"/*.dsc "$sources_dir/"
    rm -rf "$download"
  done
}

dsc_of() {
  local found=("$sources_dir/$1"_*.dsc)
  ((${#found[@]} == 1)) && [[ -f ${found[0]} ]] || return 1
  echo "${found[0]}"
}

sources_complete() {
  local package
  for package in "${source_packages[@]}"; do dsc_of "$package" >/dev/null || return 1; done
}

sources_complete || fetch_sources
sources_complete || die "the source packages are missing in $sources_dir after fetching"

expected_stamp=$(
  echo "triplet $triplet"
  for package in "${source_packages[@]}"; do
    echo "$package $(sed -n 's/^Version: //p' "$(dsc_of "$package")")"
  done
  echo "recipe $(sha256sum "$script" | cut -d' ' -f1)"
)
if [[ -f $stamp && $(<"$stamp") == "$expected_stamp" ]]; then
  exit 0
fi

# ---- build ------------------------------------------------------------------

started=$SECONDS
progress "building static libjpeg-turbo, libpng, libtiff and FreeType for $triplet into $prefix"
rm -rf "$prefix" "$work_dir"
mkdir -p "$prefix" "$work_dir"

common_cmake_args=(
  -G Ninja
  -DCMAKE_TOOLCHAIN_FILE="$toolchain"
  -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix"
  -DBUILD_SHARED_LIBS=OFF
  -Wno-dev
)

# Extracts a source package (Debian's patches applied) into the work folder
# and prints the path of the extracted tree.
extract() {
  local package=$1 tree=$work_dir/$1
  run_logged "$work_dir/$package.log" dpkg-source -x "$(dsc_of "$package")" "$tree"
  echo "$tree"
}

# Configures, builds and installs one extracted package.
# Usage: build_package NAME SOURCE_TREE CMAKE_ARGS...
build_package() {
  local package=$1 tree=$2
  shift 2
  local log=$work_dir/$package.log build=$work_dir/$package-build
  progress "  $package"
  run_logged "$log" cmake -S "$tree" -B "$build" "${common_cmake_args[@]}" "$@"
  run_logged "$log" cmake --build "$build" -j "$jobs"
  run_logged "$log" cmake --install "$build"
}

jpeg_tree=$(extract libjpeg-turbo)
build_package libjpeg-turbo "$jpeg_tree" \
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
  -DWITH_JAVA=OFF

png_tree=$(extract libpng1.6)
build_package libpng1.6 "$png_tree" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR="/usr/$triplet/include"

tiff_tree=$(extract tiff)
build_package tiff "$tiff_tree" \
  -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
  -Djpeg=OFF -Dold-jpeg=OFF -Djpeg12=OFF -Dzlib=OFF -Dpixarlog=OFF -Dlzma=OFF \
  -Dzstd=OFF -Dwebp=OFF -Djbig=OFF -Dlerc=OFF -Dlibdeflate=OFF -Dcxx=OFF -Dtiff-opengl=OFF

# Without zlib FreeType's gzip module uses the copy of zlib in its own sources.
freetype_tree=$(extract freetype)
build_package freetype "$freetype_tree" \
  -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON \
  -DFT_DISABLE_BROTLI=ON

rm -rf "$work_dir"
echo "$expected_stamp" >"$stamp"
progress "done in $((SECONDS - started)) s"
