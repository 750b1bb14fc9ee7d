#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
# In CI a warning fails the build.
if [ "${CI:-}" = true ]; then
  export KLIMA_WERROR=ON
fi
"$PWD/scripts/build.sh"
BUILD_DIR=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# CMAKE_BUILD_PARALLEL_LEVEL limits the test jobs as it limits the build's.
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
