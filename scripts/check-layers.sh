#!/usr/bin/env bash
# Checks the layering of the sources: a file includes headers of its own
# layer or of a lower one only, and only the window layers include Qt Widgets.
#   common <- platform <- station <- reporting <- gui <- apps
#   viewer uses common and platform
# No include climbs folders ("../"): a header is named from the source root.
# When the libraries are built (in $BUILD_DIR, default build/), their symbols
# are checked too: no library uses a symbol that a library above it defines.
# Prints each offending include as file:line, each offending symbol with the
# two libraries, and exits non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The layers each folder may include from.
declare -A allowed=(
  [common]="common"
  [platform]="common platform"
  [station]="common platform station"
  [reporting]="common platform station reporting"
  [gui]="common platform station reporting gui"
  [apps]="common platform station reporting gui viewer apps"
  [viewer]="common platform viewer"
)
# Folders that may include Qt Widgets.
widget_folders="gui viewer apps tools tests"

# Qt Widgets' class headers, from the installed module when it can be found.
widgets_dir=${QT_WIDGETS_INCLUDE_DIR:-}
if [ -z "$widgets_dir" ]; then
  for d in /usr/include/*/qt6/QtWidgets /usr/include/qt6/QtWidgets; do
    [ -d "$d" ] && widgets_dir=$d && break
  done
fi
declare -A widget_header=()
if [ -n "$widgets_dir" ]; then
  for h in "$widgets_dir"/Q*; do
    n=${h##*/}
    case "$n" in *.h) ;; *) widget_header[$n]=1 ;; esac
  done
else
  for n in QApplication QWidget QMainWindow QDialog QMessageBox QComboBox QLineEdit QLabel QCheckBox \
           QPushButton QPlainTextEdit QScrollBar QLayout QGridLayout QHBoxLayout QVBoxLayout QSystemTrayIcon; do
    widget_header[$n]=1
  done
fi

failures=0
report() {
  echo "$1: $2" >&2
  failures=$((failures + 1))
}

while IFS= read -r file; do
  layer=${file%%/*}
  checks_layer=${allowed[$layer]+yes}
  widgets_ok=no
  for w in $widget_folders; do [ "$layer" = "$w" ] && widgets_ok=yes; done
  while IFS=: read -r line text; do
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"(\.\./|[^\"]*/\.\./|\./)[^\"]*\" ]]; then
      report "$file:$line" "a relative include (name the header from the source root): ${text#"${text%%[![:space:]]*}"}"
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^/\"]+)/[^\"]+\" ]]; then
      target=${BASH_REMATCH[1]}
      if [ -n "$checks_layer" ] && [ -n "${allowed[$target]+yes}" ] \
         && [[ " ${allowed[$layer]} " != *" $target "* ]]; then
        report "$file:$line" "$layer/ includes a header of $target/: ${text#"${text%%[![:space:]]*}"}"
      fi
    elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(QtWidgets/)?([A-Za-z0-9_]+)(\.h)?\> ]]; then
      if [ "$widgets_ok" = no ] && { [ -n "${BASH_REMATCH[1]}" ] || [ -n "${widget_header[${BASH_REMATCH[2]}]+yes}" ]; }; then
        report "$file:$line" "$layer/ includes the Qt Widgets header <${BASH_REMATCH[1]}${BASH_REMATCH[2]}${BASH_REMATCH[3]}>"
      fi
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.hpp' '*.cpp' '*.cc')

# Symbols: what each built library leaves undefined against what the
# libraries it may not use define (strong definitions; inline and template
# code is weak and may be emitted by any library).
build_dir=${BUILD_DIR:-build}
symbols_checked=no
if command -v nm > /dev/null; then
  declare -A defined=()
  for lib in "${!allowed[@]}"; do
    a=$build_dir/libklima_$lib.a
    [ -f "$a" ] || continue
    defined[$lib]=$(nm -g -P "$a" 2> /dev/null | awk '$2 ~ /^[TDBR]$/ {print $1}' | sort -u)
  done
  for lib in "${!defined[@]}"; do
    symbols_checked=yes
    undefined=$(nm -g -P -u "$build_dir/libklima_$lib.a" 2> /dev/null | awk 'NF >= 2 && $2 == "U" {print $1}' | sort -u)
    [ -n "$undefined" ] || continue
    for other in "${!defined[@]}"; do
      [[ " ${allowed[$lib]} " == *" $other "* ]] && continue
      [ -n "${defined[$other]}" ] || continue
      while IFS= read -r sym; do
        [ -n "$sym" ] || continue
        report "libklima_$lib.a" "uses $(echo "$sym" | c++filt), which libklima_$other.a defines"
      done < <(comm -12 <(echo "$undefined") <(echo "${defined[$other]}"))
    done
  done
fi

if [ "$failures" -gt 0 ]; then
  echo "check-layers: $failures include(s) or symbol(s) against the layering" >&2
  exit 1
fi
if [ "$symbols_checked" = yes ]; then
  echo "check-layers: layering holds (includes, and the symbols of the libraries in $build_dir/)"
else
  echo "check-layers: layering holds (includes; no built libraries in $build_dir/, symbols not checked)"
fi
