#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLIMA_WERROR="${KLIMA_WERROR:-OFF}"
elif [ -n "${KLIMA_WERROR:-}" ]; then
  cmake -S . -B "$BUILD_DIR" -DKLIMA_WERROR="$KLIMA_WERROR"
fi
# CMAKE_BUILD_PARALLEL_LEVEL limits the jobs (every core unless set).
cmake --build "$BUILD_DIR" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" "$@"
