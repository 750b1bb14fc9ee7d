#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. After CTest it
# lists each skipped test with the reason the test gave; the exit status is
# CTest's.
set -euo pipefail
cd "$(dirname "$0")/.."
# In CI a warning fails the build.
if [ "${CI:-}" = true ]; then
  export KLIMA_WERROR=ON
fi
"$PWD/scripts/build.sh"
BUILD_DIR=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

# CTest marks a skipped test "Skipped" and keeps its reason, which the test
# printed, only in its logs: its JUnit report holds both.
mkdir -p "$BUILD_DIR/Testing/Temporary"
junit=$(cd "$BUILD_DIR/Testing/Temporary" && pwd)/ctest-junit.xml
rm -f "$junit"

# The skipped (and disabled) tests of a CTest JUnit report, one a line:
# "  name: reason". A test program's reason is what follows its "Skipped"
# line (GoogleTest's GTEST_SKIP); else the last line the test printed; else
# what CTest says.
list_skipped() {
  awk '
    function attr(s, key) {
      if (!match(s, " " key "=\"[^\"]*\"")) return ""
      return unescape(substr(s, RSTART + length(key) + 3, RLENGTH - length(key) - 4))
    }
    function unescape(s) {
      gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s); gsub(/&apos;/, "'"'"'", s)
      gsub(/&amp;/, "\\&", s)
      return s
    }
    function reason(   i, r, from, last) {
      for (i = 1; i <= n; i++) if (out[i] ~ /: Skipped$/) { from = i + 1; break }
      if (from) {
        for (i = from; i <= n && out[i] !~ /^\[  SKIPPED \]/; i++)
          if (out[i] != "") r = r (r == "" ? "" : " ") out[i]
        if (r != "") return r
      }
      for (i = n; i >= 1; i--) if (out[i] != "") return out[i]
      return why
    }
    /^[ \t]*<testcase / { name = attr($0, "name"); status = attr($0, "status"); why = ""; n = 0; inout = 0 }
    /^[ \t]*<skipped / { why = attr($0, "message") }
    /^[ \t]*<system-out>/ { inout = 1; sub(/^[ \t]*<system-out>/, "") }
    inout {
      line = $0
      if ((i = index(line, "</system-out>")) > 0) { line = substr(line, 1, i - 1); inout = 0 }
      sub(/\r$/, "", line)
      out[++n] = unescape(line)
      next
    }
    /^[ \t]*<\/testcase>/ {
      if (status == "disabled") skipped[++count] = name ": disabled"
      else if (why != "") skipped[++count] = name ": " reason()
    }
    END {
      if (!count) { print "Skipped tests: none."; exit }
      print "Skipped tests (" count "), with the reason each gave:"
      for (i = 1; i <= count; i++) print "  " skipped[i]
    }
  ' "$1"
}

status=0
# CMAKE_BUILD_PARALLEL_LEVEL limits the test jobs as it limits the build's.
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" \
  --output-junit "$junit" || status=$?
if [ -f "$junit" ]; then
  echo
  list_skipped "$junit"
fi
exit "$status"
