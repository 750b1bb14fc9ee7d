#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $BUILD_DIR) and runs every test there. A sanitizer report
# from any process, also from the programs the end-to-end tests start, fails
# the run; the reports are printed at the end.
#
# The run-time defaults (cmake/sanitizer_defaults.cpp) end a program at the
# first undefined behaviour and keep leak detection on; ASAN_OPTIONS and
# UBSAN_OPTIONS in the environment add to them. JOBS sets the parallelism of
# the build and the tests (default: CMAKE_BUILD_PARALLEL_LEVEL, else the
# number of processors).
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-build-asan}
JOBS=${JOBS:-${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}}
if ! grep -qs '^KLIMA_SANITIZE:STRING=address$' "$BUILD_DIR/CMakeCache.txt"; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLIMA_SANITIZE=address
fi
cmake --build "$BUILD_DIR" --parallel "$JOBS"

case "$BUILD_DIR" in
  /*) logs="$BUILD_DIR/sanitizer-logs" ;;
  *) logs="$PWD/$BUILD_DIR/sanitizer-logs" ;;
esac
rm -rf "$logs"
mkdir -p "$logs"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}log_path=$logs/asan"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}log_path=$logs/ubsan"

status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$JOBS" || status=$?
if compgen -G "$logs/*" >/dev/null; then
  echo "Sanitizer reports (in $logs):"
  for f in "$logs"/*; do
    echo "== $f"
    cat "$f"
  done
  status=1
fi
exit "$status"
