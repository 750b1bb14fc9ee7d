#!/usr/bin/env bash
# Installs what is missing, builds the station Klimawarte, the viewer
# Fernblick and the stand-in HERON server, and starts the station in the
# folder run/ (its working directory for configuration, records and log).
#
# Without an FTDI adapter the station talks to the simulated sensor stick
# (run/sensor-sim.txt, see README). A station without r2arodire.cfg reports to
# 127.0.0.1:2000; when r2arodire.cfg names 127.0.0.1 or localhost with a
# port, the station reports there. When nothing listens on that port, the
# stand-in HERON server is started there (run/heron/); a stand-in that an
# earlier run command started in this folder is shared. A watcher ends the
# stand-in once no station started by a run command in this folder runs any
# more (run/heron/stations lists them, process id and start time).
# The service host's values live in run/service/ unless
# KLIMAWARTE_SERVICE_DIR says otherwise. Once the station listens on its
# viewer port, the command says where it runs, the port, the server it
# reports to and how to stop it.
set -euo pipefail
cd "$(dirname "$0")/.."
# The programs, the stand-in server and, where the xcb headers are there, the
# tray stand-in for Xvfb (CMake target run_station_programs).
"$PWD/scripts/build.sh" --target run_station_programs
BUILD_DIR=${BUILD_DIR:-build}
root=$PWD
# shellcheck source=scripts/seed-records.sh
. "$root/scripts/seed-records.sh"
no_display=no
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  no_display=yes
fi
mkdir -p run
cd run

has_ftdi=no
for d in /sys/bus/usb-serial/devices/ttyUSB*; do
  [ -e "$d" ] || continue
  if grep -qs '^0403$' "$d"/../../idVendor "$d"/../../../idVendor 2>/dev/null; then has_ftdi=yes; fi
done
if [ "$has_ftdi" = no ] && [ -z "${KLIMAWARTE_SENSOR_SIM:-}" ]; then
  [ -f sensor-sim.txt ] || printf 'raw_temp=6000\nraw_humidity=1500\nring=0\ndcd=0\nack=1\nzero=0\n' > sensor-sim.txt
  export KLIMAWARTE_SENSOR_SIM=$PWD/sensor-sim.txt
  echo "No FTDI adapter found: using the simulated sensor ($KLIMAWARTE_SENSOR_SIM)."
fi

export KLIMAWARTE_SERVICE_DIR=${KLIMAWARTE_SERVICE_DIR:-$PWD/service}
mkdir -p "$KLIMAWARTE_SERVICE_DIR"

# --- The stand-in HERON server -------------------------------------------

# The start time of a process (clock ticks after boot), which tells it from
# a later process of the same id; nothing when there is no such process or
# it has ended (a zombie).
proc_start() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  stat=${stat##*) }
  # shellcheck disable=SC2086
  set -- $stat
  case $1 in Z | X) return 1 ;; esac
  echo "${20}"
}
# alive PID START: the process PID that started at START still runs.
alive() {
  [ -n "$1" ] && [ "$(proc_start "$1" || true)" = "$2" ]
}
# Keeps the stations of run/heron/stations that still run; true when any does.
# The caller holds the lock.
prune_stations() {
  local pid start kept=""
  if [ -f heron/stations ]; then
    while read -r pid start; do
      if alive "$pid" "$start"; then kept+="$pid $start"$'\n'; fi
    done < heron/stations
  fi
  printf '%s' "$kept" > heron/stations.new && mv -f heron/stations.new heron/stations
  [ -n "$kept" ]
}
# Ends the stand-in (heron/standin.pid: pid, start time, port) once no listed
# station runs any more, or when it ended by itself. Runs detached, in a
# session of its own, so that neither the end of a run command nor its
# terminal's signals reach it.
watch_standin() {
  local pid start p s
  read -r pid start _ < heron/standin.pid || exit 0
  while sleep 1; do
    exec 9>> heron/standin.lock || exit 1
    flock 9
    # Another stand-in is in charge once the file names it.
    read -r p s _ < heron/standin.pid 2> /dev/null || p=""
    [ "$p $s" = "$pid $start" ] || exit 0
    if alive "$pid" "$start" && prune_stations; then
      exec 9>&-
      continue
    fi
    if alive "$pid" "$start"; then
      kill -TERM "$pid" 2> /dev/null
      for _ in $(seq 50); do alive "$pid" "$start" || break; sleep 0.1; done
      if alive "$pid" "$start"; then kill -KILL "$pid" 2> /dev/null; fi
    fi
    rm -f heron/standin.pid heron/watcher.pid
    exit 0
  done
}
# The stand-in and its watcher are started from a subshell that ends at
# once, so that they are no children of the station (which would not reap
# them).
start_watcher() {
  local pid
  pid=$(setsid bash -c "$(declare -f proc_start alive prune_stations watch_standin); watch_standin" \
      < /dev/null > /dev/null 2>&1 9>&- & echo $!)
  echo "$pid $(proc_start "$pid" || true)" > heron/watcher.pid
}
# Lists this process: it becomes the station (exec below keeps its id and
# start time).
register_station() {
  prune_stations || true
  echo "$$ $(proc_start $$)" >> heron/stations
}

standin_port=2000
if [ -f r2arodire.cfg ]; then
  server=$(sed -n 28p r2arodire.cfg | tr -d '\r')
  case $server in
    127.0.0.1:* | localhost:*)
      p=${server#*:}
      if [[ $p =~ ^[0-9]{1,5}$ ]] && [ "$((10#$p))" -ge 1 ] && [ "$((10#$p))" -le 65535 ]; then
        standin_port=$((10#$p))
      fi
      ;;
  esac
fi

standin_failed() {
  echo "The stand-in HERON server failed to start on 127.0.0.1:$standin_port: $1." >&2
  echo "The station starts without it; its reports fail until a server answers there." >&2
}

fresh_standin=no
server_note="nothing answers there: the stand-in failed to start"
if ! mkdir -p heron/uploads heron/files 2> /dev/null || ! { exec 9>> heron/standin.lock; } 2> /dev/null \
    || ! : 2> /dev/null >> heron/stations; then
  exec 9>&-
  standin_failed "cannot write in $PWD/heron/"
else
  flock 9
  standin_pid="" standin_start=""
  [ -f heron/standin.pid ] && read -r standin_pid standin_start _ < heron/standin.pid || true
  if alive "$standin_pid" "$standin_start"; then
    register_station
    read -r wpid wstart < heron/watcher.pid 2> /dev/null || true
    alive "${wpid:-}" "${wstart:-}" || start_watcher
    echo "Stand-in HERON server on 127.0.0.1:$standin_port, started by an earlier run command; this"
    echo "station reports there too (log: run/heron/standin.log)."
    server_note="the stand-in of an earlier run command: reports land in $PWD/heron/uploads/"
  elif (exec 3<> "/dev/tcp/127.0.0.1/$standin_port") 2> /dev/null; then
    echo "A server answers on 127.0.0.1:$standin_port: no stand-in started, the station reports there."
    server_note="a server that answered before the start; no stand-in"
  elif ! : 2> /dev/null > heron/standin.log; then
    standin_failed "cannot write $PWD/heron/standin.log"
  else
    standin_pid=$(setsid "$root/$BUILD_DIR/tools/heronstandin/heronstandin" --port "$standin_port" \
        --upload-dir heron/uploads --serve-dir heron/files < /dev/null > heron/standin.log 2>&1 9>&- & echo $!)
    standin_start=$(proc_start "$standin_pid" || true)
    listening=no
    for _ in $(seq 100); do
      if grep -qs '^listening on ' heron/standin.log; then listening=yes; break; fi
      alive "$standin_pid" "$standin_start" || break
      sleep 0.1
    done
    if [ "$listening" = yes ] && alive "$standin_pid" "$standin_start" \
        && echo "$standin_pid $standin_start $standin_port" > heron/standin.pid; then
      register_station
      start_watcher
      fresh_standin=yes
      echo "Stand-in HERON server on 127.0.0.1:$standin_port (log: run/heron/standin.log)."
      echo "Reports land in run/heron/uploads/ (data/, sensorlogfile/)."
      server_note="the stand-in: reports land in $PWD/heron/uploads/"
    else
      kill "$standin_pid" 2> /dev/null || true
      reason=$(tail -n 1 heron/standin.log 2> /dev/null || true)
      standin_failed "${reason:-it did not answer within 10 s}"
    fi
  fi
  flock -u 9
  exec 9>&-
fi

# A station that finds record files of two earlier hours waiting reports at
# once (as after an outage), instead of one alarm interval after its start:
# with the simulated sensor and a new stand-in, two empty ones are put in
# place (scripts/seed-records.sh), so that the first report, with the
# records of this hour and the log, arrives within the first minute.
if [ "$fresh_standin" = yes ] && [ -n "${KLIMAWARTE_SENSOR_SIM:-}" ]; then
  if seeded=$(seed_record_files); then
    echo "Two empty record files of earlier hours wait in run/ (${seeded//$'\n'/, }): the"
    echo "station reports at once (run/heron/uploads/data/ then holds this hour's records too)."
  fi
fi

# --- Once the station is up -----------------------------------------------

# The TCP port that process PID listens on (the station listens on its
# viewer port only); false while there is none.
listening_port() {
  local inodes f local_address state inode
  inodes=" $(find /proc/"$1"/fd -lname 'socket:*' -printf '%l\n' 2> /dev/null \
    | sed -n 's/^socket:\[\([0-9]*\)\]$/\1/p' | tr '\n' ' ')"
  for f in /proc/"$1"/net/tcp /proc/"$1"/net/tcp6; do
    [ -r "$f" ] || continue
    # sl local_address rem_address st ... inode (the 10th column)
    while read -r _ local_address _ state _ _ _ _ _ inode _; do
      if [ "$state" = 0A ] && [[ $inodes == *" $inode "* ]]; then
        echo $((16#${local_address##*:}))
        return 0
      fi
    done < "$f"
  done
  return 1
}

# The server the station reports to, as it reads r2arodire.cfg: host and
# port (2000 unless a number follows the colon), 127.0.0.1 for no host.
server_host="" server_port=2000
if [ -f r2arodire.cfg ]; then
  configured=$(sed -n 28p r2arodire.cfg | tr -d '\r')
  server_host=${configured%%:*}
  p=${configured#"$server_host"}
  p=${p#:}
  if [[ $p =~ ^\ *\+?[0-9]{1,9}$ ]]; then server_port=$((10#${p//[ +]/})); fi
fi
server=${server_host:-127.0.0.1}:$server_port
case $server in
  "127.0.0.1:$standin_port" | "localhost:$standin_port") server+=" ($server_note)" ;;
esac
service_dir=$(cd "$KLIMAWARTE_SERVICE_DIR" && pwd)

# Says it once the station (this process, after the exec below) listens on
# its viewer port; says so too when it ends before. Runs detached, so that
# it is no child of the station.
announce_station() {
  local pid=$1 start=$2 viewer_port="" address
  for _ in $(seq 600); do
    alive "$pid" "$start" || break
    viewer_port=$(listening_port "$pid") && break
    sleep 0.2
  done
  if ! alive "$pid" "$start"; then
    echo "Klimawarte (process $pid) ended before it was up; its log: $PWD/zav_sensor_logfile.log."
    return
  fi
  address=127.0.0.1
  [ "$viewer_port" = 2002 ] || address=127.0.0.1:$viewer_port
  echo
  echo "Klimawarte is up: process $pid, working folder $PWD"
  if [ -n "$viewer_port" ]; then
    echo "  viewer port   $viewer_port (in Fernblick, build/apps/fernblick: address $address)"
  else
    echo "  viewer port   none after 120 s (every port from ${KLIMAWARTE_VIEWER_PORT:-2002} taken?)"
  fi
  echo "  reports to    $server"
  echo "  log           $PWD/zav_sensor_logfile.log (from its first event)"
  printf '  stop          printf '"'"'SHUTDOWN\\0'"'"' > %q\n' "$service_dir/CONTROL"
  echo "                (Ctrl-C ends it at once, without the orderly end: CONTROL stays RUNNING)"
  if [ "$no_display" = yes ]; then
    echo "  no display    the window is drawn off screen (QT_QPA_PLATFORM=offscreen); Qt's lines"
    echo "                about XDG_RUNTIME_DIR and propagateSizeHints() are harmless"
  fi
}
( announce_station $$ "$(proc_start $$)" < /dev/null 9>&- & )
echo "Starting Klimawarte in $PWD; it says so here once it is up."

exec "$root/$BUILD_DIR/apps/klimawarte" "$@"
