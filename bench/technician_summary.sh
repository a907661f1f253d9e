#!/bin/sh
# What a technician might write instead of ORDEX: the same reads and the same summary file with
# grep and awk, for scripts/bench.sh to time against the program. The registry store is the
# regedit 4 file named by ORDEX_REGISTRY.
set -eu
store=$ORDEX_REGISTRY

# The values ORDEX reads from the store: three of the version key, two settings.
eval "$(awk -F'=' '
  /^\[/ { section = $0; next }
  section ~ /\\Version\]/ && /^"(XOCVersion|Version|InstallationDir)"=/ {
    name = $1; gsub(/"/, "", name); value = substr($0, length($1) + 2); gsub(/^"|"\r?$/, "", value)
    printf "%s='\''%s'\''\n", name, value
  }
  section ~ /\\ORDEX\]/ && /^"(TimerInterval|Visible)"=dword:/ {
    name = $1; gsub(/"/, "", name); print name "=$((0x" substr($2, 7, 8) "))"
  }' "$store" | tr -d '\r')"
dir=$InstallationDir

ipo=$(awk -F'=' '/^system clock/ { clock = $2 } /^layer2/ { layer = $2 }
  END { print clock * layer / 1000 }' "$dir/ROBOTER/INIT/hw_inf.ini")

axes=$(grep -m1 -F '$EX_AX_NUM' "$dir/ROBOTER/XOC/R1/Mada/\$Machine.dat" |
  awk '{ sub(/^[^=]*=/, ""); sub(/;.*/, ""); gsub(/^[ \t]+|[ \t\r]+$/, ""); print }')

# The driver's texts end with NULs: the text before "Dateiformat : %s" is the version, the two
# before "%s - Version %s" make the sensor.
eval "$(tr '\0' '\n' <"$dir/ROBOTER/DRIVERS/zt_ascii.o" | awk '
  function trim(s) { gsub(/^ +| +$/, "", s); return s }
  index($0, "Dateiformat : %s") == 1 { version = trim(previous) }
  index($0, "%s - Version %s") == 1 {
    n = split(before_previous, piece, ".")
    far = n > 1 ? trim(piece[1]) "." trim(piece[2]) : before_previous
    sensor = trim(previous) "_" trim(far)
  }
  { before_previous = previous; previous = $0 }
  END { printf "driver_version='\''%s'\''\nsensor='\''%s'\''\n", version, sensor }')"

printf 'Version: %s\r\nSteuerung: %s\r\nBSVersion: %s\r\nName: %s\r\nIPO: %s\r\nZusatz-Achsen: %s\r\nSensor: %s\r\n' \
  "$driver_version" "$XOCVersion" "$Version" "$(hostname)" "$ipo" "$axes" "$sensor" \
  >"$dir/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini"
