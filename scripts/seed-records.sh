# shellcheck shell=bash
# Sourced by scripts/run-station.sh (and by the test that holds it to the
# program's rules); no command of its own.
#
# A station that finds record files of two earlier hours waiting in its
# working folder reports at once, as after an outage. With the simulated
# sensor the run command puts two empty ones in place, named as the station
# names its own: the identifier the station takes from r2arodire.cfg, in the
# 7-character form of the record files. Identifiers are handled as the
# program handles them, as bytes (windows-1252); a list of byte values keeps
# every byte, NUL included, out of the shell's own text handling.

# The byte values (decimal) of line N of FILE, without its line end (LF, one
# CR before it), as the program's configuration reader reads it. Nothing for
# a missing file or line.
seed_config_line() {
  local values=""
  [ ! -f "$1" ] || values=$(LC_ALL=C sed -n "${2}{p;q}" "$1" | od -An -v -tu1)
  local -a b=()
  read -r -d '' -a b <<< "$values" || true
  # sed added the LF; the reader drops it and one CR before it.
  [ ${#b[@]} -eq 0 ] || [ "${b[-1]}" != 10 ] || unset 'b[-1]'
  [ ${#b[@]} -eq 0 ] || [ "${b[-1]}" != 13 ] || unset 'b[-1]'
  echo "${b[*]}"
}

# The identifier the station takes (as byte values) when it runs with the
# simulated sensor: the hand-entered one ("$" and 7 characters in
# r2arodire.cfg, blanks and control characters at the ends removed); else
# the simulated adapter's serial SIM1234 when the configured port is the
# simulated port COM3: (or none is configured: the first port found); else
# the configured identifier, D2IDIDA when there is none.
seed_station_id() {
  local -a id port_line
  read -r -a id <<< "$(seed_config_line r2arodire.cfg 26)"
  read -r -a port_line <<< "$(seed_config_line r2arodire.cfg 30)"
  while [ ${#id[@]} -gt 0 ] && [ "${id[0]}" -le 32 ]; do id=("${id[@]:1}"); done
  while [ ${#id[@]} -gt 0 ] && [ "${id[-1]}" -le 32 ]; do unset 'id[-1]'; done
  if [ ${#id[@]} -eq 8 ] && [ "${id[0]}" = 36 ]; then
    echo "${id[*]:1}"
  else
    case "${port_line[*]}" in
      '' | 63 | '67 79 77 51 58') echo "83 73 77 49 50 51 52" ;;
      *) [ ${#id[@]} -gt 0 ] && echo "${id[*]}" || echo "68 50 73 68 73 68 65" ;;
    esac
  fi
}

# Windows-1252 bytes 0x80..0x9F as the program reads them (the five bytes
# without a character of their own stand for the control characters of the
# same value).
seed_cp1252_high=(20AC 0081 201A 0192 201E 2026 2020 2021 02C6 2030 0160 2039 0152 008D 017D 008F
  0090 2018 2019 201C 201D 2022 2013 2014 02DC 2122 0161 203A 0153 009D 017E 0178)

# The record files' form of an identifier (byte values as arguments), as a
# file name on disk: its first 7 bytes with "/", "\", ":", control
# characters and DEL replaced by "-", and every "." when they hold "..",
# padded with "-" to 7; the program's file names carry the characters of
# the code page in UTF-8.
seed_file_id() {
  local -a b=("${@:1:7}")
  local i v c name=""
  for i in "${!b[@]}"; do
    v=${b[i]}
    if [ "$v" -lt 32 ] || [ "$v" = 127 ] || [ "$v" = 47 ] || [ "$v" = 92 ] || [ "$v" = 58 ]; then b[i]=45; fi
  done
  if [[ " ${b[*]} " == *" 46 46 "* ]]; then
    for i in "${!b[@]}"; do [ "${b[i]}" = 46 ] && b[i]=45; done
  fi
  while [ ${#b[@]} -lt 7 ]; do b+=(45); done
  for v in "${b[@]}"; do
    if [ "$v" -lt 128 ]; then
      printf -v c '\\x%02x' "$v"
    else
      [ "$v" -lt 160 ] && c=$((16#${seed_cp1252_high[v - 128]})) || c=$v
      if [ "$c" -lt 2048 ]; then
        printf -v c '\\x%02x\\x%02x' $((0xC0 | c >> 6)) $((0x80 | (c & 63)))
      else
        printf -v c '\\x%02x\\x%02x\\x%02x' $((0xE0 | c >> 12)) $((0x80 | (c >> 6 & 63))) $((0x80 | (c & 63)))
      fi
    fi
    name+=$c
  done
  printf '%b' "$name"
}

# In the working folder: puts the empty record files of the two previous
# hours in place (<identifier form><weekday digit>.<hour character>MS) and
# says their names, unless a record file of the station waits there already
# (any entry but a folder whose name begins with the identifier's form,
# without regard to case, and ends in ".?MS", as the report finds them).
# False when one waited.
seed_record_files() {
  local -a id
  local file_id f back weekday hour letter hours=0123456789ABCDEFGHIJKLMN
  read -r -a id <<< "$(seed_station_id)"
  file_id=$(seed_file_id "${id[@]}")
  (
    # The station's names are UTF-8 on disk whatever the locale; their case
    # is compared in a UTF-8 locale.
    { LC_ALL=C.UTF-8; } 2> /dev/null
    shopt -s nocasematch nullglob dotglob
    for f in *; do
      if [[ $f == "$file_id"*.?MS && ! -d $f ]]; then exit 1; fi
    done
  ) || return 1
  for back in 2 1; do
    weekday=$(date -d "-$back hour" +%w)
    hour=$((10#$(date -d "-$back hour" +%H)))
    letter=${hours:hour:1}
    : > "$file_id$weekday.${letter}MS" || return 2
    printf '%s\n' "$file_id$weekday.${letter}MS"
  done
}
