#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing the SDK needs.
# Idempotent: when everything is already there it only asks dpkg and returns.
#
# Usage: scripts/install-deps.sh [--native] [--windows] [--format] [--fuzz] [--valgrind]
#                                [--tidy] [--thread-safety] [--python] [--perf] [--all]
#                                [--list]
#   --native   compilers, CMake, Ninja, GoogleTest, Google Benchmark, the image
#              libraries, CLI11, FreeType and the DejaVu fonts, ffmpeg, the
#              --python set, and aiohttp, Chromium, chromedriver and Selenium
#              for the live viewer and its browser tests (default)
#   --windows  mingw-w64 cross compilers and binutils, wine64 and wine32 (the
#              i386 architecture is added to dpkg for it), zlib for mingw,
#              dpkg-dev (to fetch the image libraries' sources)
#   --format   clang-format only
#   --fuzz     clang with the libFuzzer and sanitizer runtimes, CMake, Ninja
#   --python   Debian's python3 with numpy and pytest, and PIL and tifffile to
#              read the stills back (the Python package's tests), pip and venv
#              (the wheel's install test)
#   --valgrind valgrind
#   --perf     OpenCV and numpy for the performance report's baselines
#   --tidy     clang-tidy
#   --thread-safety  clang, CMake, Ninja, the image libraries, CLI11 and
#              FreeType (the library and tools built with the thread-safety
#              analysis)
#   --all      every set
#   --list     print the packages of the chosen sets and exit
set -euo pipefail

native_packages() {
  echo cmake ninja-build g++ clang binutils pkg-config \
    libgtest-dev libgmock-dev libbenchmark-dev clang-format \
    libjpeg-dev libpng-dev libtiff-dev zlib1g-dev ffmpeg \
    libcli11-dev libfreetype-dev fonts-dejavu-core \
    python3 python3-pytest python3-numpy python3-pil python3-tifffile \
    python3-pip python3-venv \
    python3-aiohttp chromium chromium-driver python3-selenium
  # Highway (the colour mapper's vector loops; configuring any build needs it).
  echo libhwy-dev
}

windows_packages() {
  echo g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix \
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 googletest wine64 wine32:i386 \
    libz-mingw-w64-dev dpkg-dev
}

format_packages() {
  echo clang-format
}

perf_packages() {
  echo python3 python3-numpy python3-opencv libbenchmark-dev
  echo python3-tifffile
}

valgrind_packages() {
  echo valgrind
}

tidy_packages() {
  echo clang-tidy
}

thread_safety_packages() {
  echo cmake ninja-build clang pkg-config libjpeg-dev libpng-dev libtiff-dev zlib1g-dev \
    libcli11-dev libfreetype-dev fonts-dejavu-core
  # Highway (the colour mapper's vector loops; configuring any build needs it).
  echo libhwy-dev
}

fuzz_packages() {
  echo cmake ninja-build clang libclang-rt-14-dev libfreetype-dev
  # Highway (the colour mapper's vector loops; configuring any build needs it).
  echo libhwy-dev
}

python_packages() {
  echo python3 python3-pytest python3-numpy python3-pil python3-tifffile \
    python3-pip python3-venv
}

want=()
list_only=0
for arg in "$@"; do
  case $arg in
    --native) want+=(native) ;;
    --windows) want+=(windows) ;;
    --format) want+=(format) ;;
    --fuzz) want+=(fuzz) ;;
    --valgrind) want+=(valgrind) ;;
    --perf) want+=(perf) ;;
    --tidy) want+=(tidy) ;;
    --thread-safety) want+=(thread_safety) ;;
    --python) want+=(python) ;;
    --all) want+=(native windows format fuzz valgrind tidy thread_safety python perf) ;;
    --list) list_only=1 ;;
    -h | --help) sed -n '2,25p' "$0"; exit 0 ;;
    *) echo "install-deps: unknown option '$arg'" >&2; exit 2 ;;
  esac
done
((${#want[@]})) || want=(native)

packages=()
for set in "${want[@]}"; do
  # A set may print its packages on several lines: read them all.
  read -r -a more <<<"$("${set}_packages" | tr '\n' ' ')"
  packages+=("${more[@]}")
done
if ((list_only)); then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
  [[ $status == installed ]] || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
  echo "install-deps: ${want[*]} packages already installed"
  exit 0
fi
# Several sets may name the same package.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

sudo=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || {
    echo "install-deps: not root and sudo is missing; install as root: ${missing[*]}" >&2
    exit 1
  }
  sudo=(sudo)
fi
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -y -o Dpkg::Use-Pty=0)

# Packages of a foreign architecture (wine32:i386) need it added to dpkg
# before the package lists are fetched; it stays added.
for package in "${missing[@]}"; do
  [[ $package == *:* ]] || continue
  arch=${package##*:}
  if [[ $arch != "$(dpkg --print-architecture)" ]] &&
    ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    echo "install-deps: adding the $arch architecture to dpkg"
    "${sudo[@]}" dpkg --add-architecture "$arch"
  fi
done

echo "install-deps: installing ${missing[*]}"
"${apt[@]}" update -qq
"${apt[@]}" install --no-install-recommends "${missing[@]}"
echo "install-deps: done"
