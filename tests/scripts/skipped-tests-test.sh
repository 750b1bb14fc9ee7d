#!/usr/bin/env bash
# The test command lists, after CTest, each skipped test with the reason the
# test gave, and ends with CTest's exit status. Runs a copy of the command in
# a temporary folder (its build step stubbed) with the real ctest on a test
# list of its own: a GoogleTest skip, a skip by exit code with and without
# output, a disabled test, a passing one and, in the first run, a failing one.
#   usage: skipped-tests-test.sh SOURCE_DIR
set -uo pipefail
src=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  cat "$tmp/out" >&2
  failures=$((failures + 1))
}

mkdir -p "$tmp/copy/scripts" "$tmp/tests"
cp "$src/scripts/run-tests.sh" "$tmp/copy/scripts/"
printf '#!/bin/sh\nexit 0\n' > "$tmp/copy/scripts/build.sh"
chmod +x "$tmp/copy/scripts/"*.sh
# A GoogleTest case as CTest runs it (gtest_discover_tests), with XML's
# special characters in its reason.
cat > "$tmp/gtest-skip.sh" << 'EOF'
echo "Note: Google Test filter = Tray.Docks"
echo "[ RUN      ] Tray.Docks"
echo "/src/tests/TrayTest.cpp:31: Skipped"
echo "no X server for this test: <Xvfb> & \"xcb\" aren't there"
echo
echo "[  SKIPPED ] Tray.Docks (0 ms)"
echo "[  SKIPPED ] 1 test, listed below:"
echo "[  SKIPPED ] Tray.Docks"
EOF
write_tests() { # write_tests EXTRA_LINES
  cat > "$tmp/tests/CTestTestfile.cmake" << EOF
add_test(Plain.Passes /bin/sh -c "echo all fine")
add_test(Tray.Docks /bin/sh "$tmp/gtest-skip.sh")
set_tests_properties(Tray.Docks PROPERTIES SKIP_REGULAR_EXPRESSION "\\\\[  SKIPPED \\\\]")
add_test(Proxy.Tests /bin/sh -c "echo starting; echo 'squid not available: not installed'; echo; exit 77")
set_tests_properties(Proxy.Tests PROPERTIES SKIP_RETURN_CODE 77)
add_test(Quiet.Skip /bin/sh -c "exit 77")
set_tests_properties(Quiet.Skip PROPERTIES SKIP_RETURN_CODE 77)
add_test(Old.Case /bin/true)
set_tests_properties(Old.Case PROPERTIES DISABLED TRUE)
$1
EOF
}
run() {
  env -u CI CMAKE_BUILD_PARALLEL_LEVEL=2 BUILD_DIR="$tmp/tests" bash "$tmp/copy/scripts/run-tests.sh" > "$tmp/out" 2>&1
}
expected="Skipped tests (4), with the reason each gave:
  Tray.Docks: no X server for this test: <Xvfb> & \"xcb\" aren't there
  Proxy.Tests: squid not available: not installed
  Quiet.Skip: SKIP_RETURN_CODE=77
  Old.Case: disabled"
# The list in CTest's order of finishing, which the jobs may change.
listed() { sed -n '/^Skipped tests/,$p' "$tmp/out" | sort; }

write_tests 'add_test(Broken.Case /bin/sh -c "echo broken; exit 1")'
run
status=$?
[ "$status" -eq 8 ] || fail "with a failing test the command ended with $status, CTest's status is 8"
[ "$(listed)" = "$(sort <<< "$expected")" ] || fail "the list of skipped tests with a failing test"

write_tests ""
run
status=$?
[ "$status" -eq 0 ] || fail "with no failing test the command ended with $status"
[ "$(listed)" = "$(sort <<< "$expected")" ] || fail "the list of skipped tests"
grep -q "Plain.Passes" <(sed -n '/^Skipped tests/,$p' "$tmp/out") && fail "a passing test is listed"

[ "$failures" -eq 0 ] && echo "skipped tests and their reasons: all checks passed"
exit $((failures > 0))
