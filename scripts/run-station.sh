#!/usr/bin/env bash
# Installs what is missing, builds, and starts the station Klimawarte in the
# folder run/ (its working directory for configuration, records and log).
#
# Without an FTDI adapter the station talks to the simulated sensor stick
# (run/sensor-sim.txt, see README); without a reachable central server on
# 127.0.0.1:2000 the stand-in HERON server is started there (run/heron/); a
# station without r2arodire.cfg reports to 127.0.0.1:2000.
# The service host's values live in run/service/ unless
# KLIMAWARTE_SERVICE_DIR says otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/build.sh" --target klimawarte heronstandin
BUILD_DIR=${BUILD_DIR:-build}
root=$PWD
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
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

standin_pid=""
if ! (exec 3<>/dev/tcp/127.0.0.1/2000) 2>/dev/null; then
  mkdir -p heron/uploads heron/files
  "$root/$BUILD_DIR/tools/heronstandin/heronstandin" --port 2000 \
      --upload-dir heron/uploads --serve-dir heron/files > heron/standin.log 2>&1 &
  standin_pid=$!
  echo "Stand-in HERON server on 127.0.0.1:2000 (log: run/heron/standin.log)."
  echo "Reports land in run/heron/uploads/ (data/, sensorlogfile/)."
  # A station that finds record files of two earlier hours waiting reports at
  # once (as after an outage), instead of one alarm interval after its start:
  # with the simulated sensor, two empty ones are put in place, so that the
  # first report, with the records of this hour and the log, arrives within
  # the first minute.
  if [ -n "${KLIMAWARTE_SENSOR_SIM:-}" ]; then
    id=SIM1234
    if [ -f r2arodire.cfg ]; then
      cfg_id=$(sed -n 26p r2arodire.cfg | tr -d '\r$')
      [ -n "$cfg_id" ] && id=$cfg_id
    fi
    if ! compgen -G "$id?.?MS" > /dev/null; then
      for back in 1 2; do
        weekday=$(date -d "-$back hour" +%w)
        hour=$((10#$(date -d "-$back hour" +%H)))
        if [ "$hour" -lt 10 ]; then letter=$hour; else letter=$(printf "\\$(printf '%03o' $((65 + hour - 10)))"); fi
        : > "$id$weekday.${letter}MS"
      done
      echo "Two empty record files of earlier hours wait in run/: the first report comes about"
      echo "20 s after the start (run/heron/uploads/data/ then holds this hour's records)."
    fi
  fi
fi
cleanup() { [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null || true; }
trap cleanup EXIT

"$root/$BUILD_DIR/apps/klimawarte" "$@"
