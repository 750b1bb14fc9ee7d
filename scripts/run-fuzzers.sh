#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang into build-fuzz/ and runs
# each for a bounded time on a fresh corpus in a temporary folder. Fails when
# a target finds a crash, a hang, a leak or runs out of memory; the inputs
# that did it are kept in build-fuzz/findings/<target>/.
#
#   scripts/run-fuzzers.sh [seconds per target, default 60] [target ...]
#
# Targets: fuzz_station_config fuzz_proxy_config fuzz_frame_reception
# fuzz_simulation_file fuzz_viewer_message fuzz_proxy_challenge (all when none are named). JOBS sets the build's
# parallel jobs (default 4).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_station_config fuzz_proxy_config fuzz_frame_reception fuzz_simulation_file fuzz_viewer_message fuzz_proxy_challenge)
case "$seconds" in
  '' | *[!0-9]*) echo "seconds must be a whole number: $seconds" >&2; exit 2 ;;
esac

"$PWD/scripts/install-deps.sh"

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
# clang, then the runtime of its own version: libFuzzer and the sanitizers.
install_missing clang
clang_major=$(clang++ -dumpversion | cut -d. -f1)
install_missing "libclang-rt-${clang_major}-dev"

BUILD_DIR=build-fuzz
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKLIMA_FUZZ=ON
fi
cmake --build "$BUILD_DIR" --parallel "${JOBS:-4}" --target "${targets[@]}"

# The targets write files for every input: a memory file system keeps that
# fast when there is one.
base=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
run_dir=$(mktemp -d "$base/klima-fuzzers.XXXXXX")
trap 'rm -rf "$run_dir"' EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
summary=()
for t in "${targets[@]}"; do
  dir="$run_dir/$t"
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
  echo "== $t: $seconds s"
  start=$(date +%s)
  rc=0
  # Absolute paths: the target works in a folder of its own under TMPDIR.
  KLIMA_FUZZ_SEEDS="$dir/corpus" TMPDIR="$dir/tmp" QT_QPA_PLATFORM=offscreen \
    "$BUILD_DIR/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1 || rc=$?
  elapsed=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -1)
  if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$dir/artifacts")" ]; then
    keep="$BUILD_DIR/findings/$t"
    mkdir -p "$keep"
    cp "$dir/log" "$keep/log"
    cp -r "$dir/artifacts/." "$keep/" 2>/dev/null || true
    grep -E "FINDING|ERROR|SUMMARY" "$dir/log" | head -5 >&2 || true
    summary+=("$t: FINDING after $elapsed s (exit status $rc), see $keep")
    failed+=("$t")
  else
    summary+=("$t: ran $elapsed s, ${runs:-?} inputs, corpus $(ls "$dir/corpus" | wc -l), no finding")
  fi
done

printf '%s\n' "${summary[@]}"
[ ${#failed[@]} -eq 0 ] || { echo "findings in: ${failed[*]}" >&2; exit 1; }
