#!/usr/bin/env bash
# Installs what is missing, builds, and starts the station Klimawarte in the
# folder run/ (its working directory for configuration, records and log).
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/build.sh" --target klimawarte
BUILD_DIR=${BUILD_DIR:-build}
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] || export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
mkdir -p run
cd run
exec "../$BUILD_DIR/apps/klimawarte" "$@"
