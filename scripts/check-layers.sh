#!/usr/bin/env bash
# Proves that the library's layers are enforced by the build. Each layer of
# src/ compiles against an include view that holds only itself and the layers
# it may use (cmake/KolThermoLayers.cmake). With the compile command of one of
# the layer's own sources (compile_commands.json), a probe must compile that
# includes one header of every layer the layer may use, and a probe that
# includes a header of any other layer must fail for want of the file. It also
# checks that every library source is compiled with its own layer's view and
# without src/ on its include path, and that no source includes through "..".
# Configures the build first (no compilation of the library); takes seconds.
#
# Usage: scripts/check-layers.sh [PRESET]   (default: default)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

preset=${1:-default}
cmake --preset "$preset" >/dev/null
python3 scripts/lib/check_layers.py . "build/$preset"
