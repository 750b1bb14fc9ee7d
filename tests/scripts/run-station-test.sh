#!/usr/bin/env bash
# The run command's care of the stand-in HERON server, in a copy of the
# command in a temporary folder (its build step left out, the programs taken
# from BUILD_DIR), with a stand-in port and viewer ports of its own:
# - two run commands share one stand-in: the second station ends the first,
#   and the first command's end leaves the stand-in to the second station;
#   it stops once that station ended;
# - a station killed with SIGKILL leaves no stand-in behind;
# - a stand-in that cannot start (read-only folder) is reported as failed;
# - once the station is up the command says so: its folder, the viewer port
#   it took (the next one when the first is taken), the server it reports
#   to and the stop command.
#   usage: run-station-test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1
build=$2
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY KLIMAWARTE_SENSOR_SIM KLIMAWARTE_SERVICE_DIR

tmp=$(mktemp -d)
started=()
failures=0
fail() {
  echo "FAILED: $*" >&2
  local f
  for f in "$tmp"/copy/run/heron/{standin.pid,watcher.pid,stations}; do
    [ -f "$f" ] && echo "  $(basename "$f"): $(tr '\n' ';' < "$f")" >&2
  done
  failures=$((failures + 1))
}
cleanup() {
  local p
  for p in "${started[@]}"; do kill -KILL "$p" 2> /dev/null && wait "$p" 2> /dev/null; done
  for f in "$tmp"/copy/run/heron/watcher.pid "$tmp"/copy/run/heron/standin.pid; do
    [ -f "$f" ] && read -r p _ < "$f" && kill -KILL "$p" 2> /dev/null
  done
  rm -rf "$tmp"
}
trap cleanup EXIT

# A port nothing listens on, below the ones the system hands out for outgoing
# connections; the stations of other runs use 2000 and 2002 up.
free_port() {
  local p low=32768
  read -r low _ < /proc/sys/net/ipv4/ip_local_port_range
  while :; do
    p=$((10000 + RANDOM % (low - 10100)))
    (exec 3<> "/dev/tcp/127.0.0.1/$p") 2> /dev/null || { echo "$p"; return; }
  done
}
# waitfor SECONDS COMMAND...: true once COMMAND holds.
waitfor() {
  local until=$((SECONDS + $1))
  shift
  while ! "$@"; do
    [ "$SECONDS" -lt "$until" ] || return 1
    sleep 0.1
  done
}
listens() { (exec 3<> "/dev/tcp/127.0.0.1/$port") 2> /dev/null; }
not() { ! "$@"; }
running() { kill -0 "$1" 2> /dev/null && [ "$(awk '{print $3}' "/proc/$1/stat" 2> /dev/null)" != Z ]; }
# The run command became the station (it hands over its process to it).
is_station() { [[ $(readlink "/proc/$1/exe" 2> /dev/null) == */apps/klimawarte ]]; }
standin_pid() { read -r p _ < "$run/heron/standin.pid" 2> /dev/null && echo "$p"; }

mkdir -p "$tmp/copy/scripts"
cp "$src/scripts/run-station.sh" "$src/scripts/seed-records.sh" "$tmp/copy/scripts/"
printf '#!/bin/sh\nexit 0\n' > "$tmp/copy/scripts/build.sh"
chmod +x "$tmp/copy/scripts/build.sh"
ln -s "$build" "$tmp/copy/build"
run=$tmp/copy/run
mkdir -p "$run"
port=$(free_port)
export KLIMAWARTE_VIEWER_PORT
# Two in a row: a case takes the first, so that the station takes the next.
while KLIMAWARTE_VIEWER_PORT=$(free_port); (exec 3<> "/dev/tcp/127.0.0.1/$((KLIMAWARTE_VIEWER_PORT + 1))") 2> /dev/null; do
  :
done
# The station reports to the stand-in's port; 17 pairs of key and value.
values=("" "" "" "" "" "" "" "" FALSE FALSE FALSE FALSE SIM1234 "127.0.0.1:$port" COM3: 4 5)
for v in "${values[@]}"; do printf 'key\r\n%s\r\n' "$v"; done > "$run/r2arodire.cfg"

start_run() { # start_run N: the run command with its output in out.N
  "$tmp/copy/scripts/run-station.sh" > "$tmp/out.$1" 2>&1 &
  started+=($!)
  last=$!
}

# --- Two run commands, one stand-in; the first viewer port taken ---
# A stand-in server of its own holds the port until the first station is up.
"$build/tools/heronstandin/heronstandin" --port "$KLIMAWARTE_VIEWER_PORT" --upload-dir "$tmp/holder" \
  > "$tmp/holder.log" 2>&1 &
started+=($!)
holder=$!
holds() { grep -qs '^listening on ' "$tmp/holder.log"; }
waitfor 10 holds || fail "no program holds the viewer port: $(cat "$tmp/holder.log")"
start_run 1
first=$last
waitfor 60 is_station "$first" || fail "the first run command started no station: $(cat "$tmp/out.1")"
grep -q "^Stand-in HERON server on 127.0.0.1:$port " "$tmp/out.1" || fail "no stand-in: $(cat "$tmp/out.1")"
# up_said N PROCESS VIEWER_PORT: the run command's output out.N says that
# the station is up, where and how to stop it.
up_said() {
  local out=$tmp/out.$1 address=127.0.0.1:$3
  waitfor 60 grep -q "^Klimawarte is up: process $2, working folder $run\$" "$out" \
    || { fail "no word that the station is up: $(cat "$out")"; return; }
  grep -qF "  viewer port   $3 (in Fernblick, build/apps/fernblick: address $address)" "$out" \
    && grep -qF "  reports to    127.0.0.1:$port (the stand-in: reports land in $run/heron/uploads/)" "$out" \
    && grep -qF "  stop          printf 'SHUTDOWN\0' > $run/service/CONTROL" "$out" \
    && grep -qF "  no display    the window is drawn off screen" "$out" \
    || fail "what the command said once the station was up: $(cat "$out")"
}
up_said 1 "$first" $((KLIMAWARTE_VIEWER_PORT + 1))
kill "$holder"
standin=$(standin_pid)
listens || fail "the stand-in does not listen on $port"
# Past its own start-up (it takes the folder's instance lock last), so that
# it cannot end the second one in turn.
has_lock_file() { [ -e "$run/r2arodire.flag" ]; }
waitfor 60 has_lock_file || fail "the first station took no lock: $(cat "$tmp/out.1")"
start_run 2
second=$last
waitfor 60 not running "$first" || fail "the second station did not end the first: $(cat "$tmp/out.2")"
grep -q "started by an earlier run command" "$tmp/out.2" || fail "the second run command: $(cat "$tmp/out.2")"
# The watcher looks every second: well past it, the stand-in still serves.
sleep 3
running "$second" || fail "the second station ended"
[ -n "$standin" ] && running "$standin" && listens || fail "the stand-in stopped with the first run command"
# A signal ends it at once (SHUTDOWN waits for any open message box).
kill -TERM "$second"
waitfor 30 not running "$second" || fail "the second station did not end"
waitfor 10 not running "$standin" || fail "the stand-in outlived the last station"
waitfor 5 not listens || fail "the port is still taken"
no_pid_file() { [ ! -e "$run/heron/standin.pid" ]; }
waitfor 5 no_pid_file || fail "the stand-in's pid file stayed"

# --- A station killed with SIGKILL ---
start_run 3
third=$last
waitfor 60 is_station "$third" || fail "the third run command started no station"
grep -q "^Stand-in HERON server on 127.0.0.1:$port " "$tmp/out.3" || fail "no new stand-in: $(cat "$tmp/out.3")"
standin=$(standin_pid)
kill -KILL "$third"
waitfor 10 not running "$standin" || fail "the stand-in outlived a killed station"

# --- A read-only folder ---
fourth=""
if unshare -m true 2> /dev/null; then
  unshare -m bash -c 'mount --bind -o ro "$1/heron" "$1/heron" && exec "$2"' ro "$run" \
    "$tmp/copy/scripts/run-station.sh" > "$tmp/out.4" 2>&1 &
  fourth=$!
  started+=("$fourth")
elif [ "$(id -u)" -ne 0 ]; then
  chmod a-w "$run/heron"
  start_run 4
  fourth=$last
else
  echo "no read-only folder to be had here: that case is left out"
fi
if [ -n "$fourth" ]; then
  waitfor 60 is_station "$fourth" || fail "the run command on a read-only folder started no station: $(cat "$tmp/out.4")"
  grep -q "The stand-in HERON server failed to start on 127.0.0.1:$port: cannot write in" "$tmp/out.4" \
    || fail "no failure said: $(cat "$tmp/out.4")"
  grep -q "^Stand-in HERON server on" "$tmp/out.4" && fail "a stand-in is announced: $(cat "$tmp/out.4")"
  kill -TERM "$fourth"
  waitfor 30 not running "$fourth" || fail "the station on a read-only folder did not end"
  chmod u+w "$run/heron"
fi

[ "$failures" -eq 0 ] && echo "all cases passed"
exit $((failures > 0))
