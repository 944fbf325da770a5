#!/usr/bin/env bash
# Builds the SDK (the "default" preset: RelWithDebInfo in build/default) and
# runs the guided demo on the simulated camera: `kolthermo demo` writes and
# loads a calibration table, previews, saves a false-colour PNG, a 16-bit raw
# TIFF, a float temperature map and a short AVI into build/demo, and prints
# the files and the temperatures it measured. The example host
# (examples/hello_kolthermo.c) is built and run first.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --native

cmake --preset default
cmake --build --preset default --target kolthermo-cli hello_kolthermo

echo
echo "==== examples/hello_kolthermo.c"
build/default/examples/hello_kolthermo

echo
echo "==== kolthermo demo --output build/demo"
build/default/tools/cli/kolthermo demo --output build/demo
