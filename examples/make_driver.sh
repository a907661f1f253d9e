#!/usr/bin/env bash
# Writes the synthetic sensor driver file of the sample installation: a made-up object file
# with a header, pseudo-random code bytes, a table of NUL-terminated texts and a symbol table.
# Among the texts stand the two markers ORDEX looks for, so that the sample yields the sensor
# "SENSOR-A_2.0" and the driver version "1.3b". The output depends on nothing but this script.
#
# Usage: make_driver.sh [output file]   (default: ROBOTER/DRIVERS/zt_ascii.o next to this script)
set -euo pipefail
export LC_ALL=C

out=${1:-"$(dirname "$0")/ROBOTER/DRIVERS/zt_ascii.o"}

# Writes the bytes given as numbers 0 to 255.
bytes() {
  local format='' octal
  for byte in "$@"; do
    printf -v octal '%03o' "$byte"
    format+="\\$octal"
  done
  printf "$format"
}

# Writes each argument followed by a NUL, as a compiler stores string constants.
texts() {
  local text
  for text in "$@"; do
    printf '%s\0' "$text"
  done
}

# A little-endian 32-bit number.
word() {
  bytes $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255))
}

# Deterministic filler standing in for machine code.
code() {
  local count=$1 seed=$2 i chunk=()
  for ((i = 0; i < count; i++)); do
    seed=$(((seed * 1103515245 + 12345) % 2147483648))
    chunk+=($(((seed >> 16) & 255)))
    if ((${#chunk[@]} == 256)); then
      bytes "${chunk[@]}"
      chunk=()
    fi
  done
  ((${#chunk[@]} == 0)) || bytes "${chunk[@]}"
}

{
  printf 'ZTOBJ'
  bytes 1 0 2 0
  word 4800      # code size
  word 640       # text table size
  word 12        # symbol count
  texts 'zt_ascii' 'sample build'
  bytes 0 0 0 0 255 255 0 0
  code 4800 20240611
  texts \
    'serial ASCII sensor driver' \
    'COM%d' \
    'baud rate %ld not supported' \
    'parity error on port %d' \
    'timeout after %d ms' \
    'frame too long: %d bytes' \
    '' \
    '2.0.4.15' \
    'SENSOR-A' \
    '%s - Version %s' \
    ' 1.3b ' \
    'Dateiformat : %s' \
    'Zeilenende CR LF' \
    'Pruefsumme %04X' \
    'sensor not ready' \
    'init done'
  for symbol in zt_open zt_close zt_read zt_write zt_status zt_reset; do
    texts "_$symbol"
    word $((${#symbol} * 97))
  done
  code 200 7
} >"$out"
