#!/usr/bin/env bash
# Builds the library and the tools with clang's thread-safety analysis as
# errors (the "thread-safety" preset, in build/thread-safety): a field marked
# GUARDED_BY read or written without its lock, a REQUIRES function called
# without it, or a lock left held fails the build. Tests are not built; the
# check is the compilation itself.
# Installs the Debian packages it needs first (scripts/install-deps.sh --thread-safety).
#
# Usage: scripts/check-thread-safety.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh --thread-safety

cmake --preset thread-safety
cmake --build --preset thread-safety
echo "thread-safety check passed: library and tools build with -Wthread-safety -Werror"
