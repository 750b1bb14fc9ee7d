#!/usr/bin/env bash
# The test commands run as many CTest jobs as CMAKE_BUILD_PARALLEL_LEVEL
# allows the build (JOBS first for the sanitizer run), every processor when
# neither is set. Runs copies of the commands in a temporary folder, with
# the build and the package step stubbed and a ctest on PATH that only
# records its arguments.
#   usage: test-jobs-test.sh SOURCE_DIR
set -uo pipefail
src=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

mkdir -p "$tmp/copy/scripts" "$tmp/bin" "$tmp/copy/build-asan"
cp "$src/scripts/run-tests.sh" "$src/scripts/run-sanitized-tests.sh" "$tmp/copy/scripts/"
for stub in build.sh install-deps.sh; do
  printf '#!/bin/sh\nexit 0\n' > "$tmp/copy/scripts/$stub"
done
echo 'KLIMA_SANITIZE:STRING=address' > "$tmp/copy/build-asan/CMakeCache.txt"
printf '#!/bin/sh\necho "$*" >> "%s/ctest.args"\n' "$tmp" > "$tmp/bin/ctest"
printf '#!/bin/sh\necho "$*" >> "%s/cmake.args"\n' "$tmp" > "$tmp/bin/cmake"
chmod +x "$tmp/copy/scripts/"*.sh "$tmp/bin/ctest" "$tmp/bin/cmake"

# check SCRIPT EXPECTED_JOBS [VAR=VALUE...]
check() {
  local script=$1 want=$2
  shift 2
  rm -f "$tmp/ctest.args" "$tmp/cmake.args"
  env -u CMAKE_BUILD_PARALLEL_LEVEL -u JOBS -u CI PATH="$tmp/bin:$PATH" "$@" \
    bash "$tmp/copy/scripts/$script" > "$tmp/out" 2>&1
  local got
  got=$(grep -o -- '--parallel [0-9]*' "$tmp/ctest.args" 2> /dev/null | head -n 1)
  if [ "$got" != "--parallel $want" ]; then
    echo "FAILED: $script with ${*:-nothing set}: ctest got '${got:-no call}', expected '--parallel $want'" >&2
    cat "$tmp/out" >&2
    failures=$((failures + 1))
  fi
}

cpus=$(nproc)
check run-tests.sh "$cpus"
check run-tests.sh 3 CMAKE_BUILD_PARALLEL_LEVEL=3
check run-sanitized-tests.sh "$cpus"
check run-sanitized-tests.sh 2 CMAKE_BUILD_PARALLEL_LEVEL=2
check run-sanitized-tests.sh 5 CMAKE_BUILD_PARALLEL_LEVEL=2 JOBS=5

[ "$failures" -eq 0 ] && echo "test commands' jobs: all checks passed"
exit $((failures > 0))
