#!/usr/bin/env bash
# Builds the SDK (the "default" preset: RelWithDebInfo in build/default) and
# runs the example host against the simulated camera: it creates a camera
# instance, prints the library version, the instance ID, every parameter and
# the events the instance reported, then releases it.
# Installs the Debian packages it needs first (see scripts/install-deps.sh).
#
# Usage: scripts/demo.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --native

cmake --preset default
cmake --build --preset default --target hello_kolthermo

echo
echo "==== examples/hello_kolthermo.c"
build/default/examples/hello_kolthermo
