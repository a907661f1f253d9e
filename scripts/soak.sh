#!/usr/bin/env bash
# Soak test: runs build/default/ordex with a 1 ms interval, shown as text, for the given number
# of refresh passes (default 100000) while the machine data file's count is changed at random
# moments, alternately by renaming a new file over it and by rewriting it in place. Each change
# gets a time stamp of its own, and the next one is made only after the window has shown it.
#
# Checks: every pass draws one frame; the change counter goes up by one exactly when the shown
# count changes; it ends equal to the number of changes made; the summary file holds the last
# count; open file descriptors and resident memory are the same at the end as after warm-up.
#
# Usage: scripts/soak.sh [passes]     (scripts/soak.sh 5000 is the short run of the test command)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

passes=${1:-100000}
warm_up=$((passes / 20 > 1000 ? passes / 20 : 1000))
binary=build/default/ordex

ensure_packages "${BUILD_PACKAGES[@]}"
[ -f build/default/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build --preset default --target ordex >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ordex-soak.XXXXXX")
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
make_sample_installation "$scratch" 1 1
mkdir -m 700 "$scratch/run"
machine_data="$scratch/ROBOTER/XOC/R1/Mada/\$Machine.dat"
summary="$scratch/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini"

# Reads the text view's frames as they come and checks each pass against the one before.
# Prints "pass changes count" whenever the count or the counter moves and every 1000 passes,
# and a last line "END frames bad-pass-numbers bad-counts".
frames="$scratch/frames"
env -u DISPLAY ORDEX_VIEW=text ORDEX_REGISTRY="$scratch/registry.reg" \
  XDG_RUNTIME_DIR="$scratch/run" "$binary" 2>"$scratch/errors" > >(awk '
  /^Number of external Axes:/ { value = substr($0, 25); sub(/^ +/, "", value) }
  /Changes since start/ {
    changes = ($1 ~ /^[0-9]+$/) ? $1 + 0 : 0
    pass = $NF + 0
    ++frames
    if (frames > 1 && pass != 0) {
      if (pass != last_pass + 1) ++bad_passes
      if (changes != last_changes + (value != last_value)) ++bad_counts
    }
    if (value != last_value || changes != last_changes || pass % 1000 == 0) {
      print pass, changes, value
      fflush()
    }
    last_value = value; last_changes = changes; last_pass = pass
  }
  END { print "END", frames + 0, bad_passes + 0, bad_counts + 0; fflush() }
' >"$frames") &
pid=$!

last_frame() { tail -n 1 "$frames" 2>/dev/null | grep -v '^END' || true; }
shown_pass() { last_frame | awk '{ print $1 + 0 }'; }
shown_value() { last_frame | awk '{ print $3 }'; }
wait_for_pass() {
  until [ "$(shown_pass)" -ge "$1" ] 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || { cat "$scratch/errors"; echo "FAIL soak: ordex ended"; exit 1; }
    sleep 0.05
  done
}
open_fds() { ls "/proc/$pid/fd" | wc -l; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }

# Writes count $1 into the machine data file, by rename or in place, stamped with time $2.
change_count() {
  local content
  content=$(sed "s/\\\$EX_AX_NUM=[0-9]*/\$EX_AX_NUM=$1/" "$machine_data")
  if (( $1 % 2 )); then
    printf '%s\n' "$content" >"$machine_data.new"
    touch -d "@$2" "$machine_data.new"
    mv "$machine_data.new" "$machine_data"
  else
    printf '%s\n' "$content" 1<>"$machine_data"  # same length: no moment with an empty file
    touch -d "@$2" "$machine_data"
  fi
}

echo "== soak: $passes passes at 1 ms, the count changed at random moments"
wait_for_pass 1
sed -i 's/\$EX_AX_NUM=2/$EX_AX_NUM=1000/' "$machine_data"
touch -d @1500000000 "$machine_data"
made=1
wait_for_pass "$warm_up"
fds_start=$(open_fds)
rss_start=$(rss_kb)
echo "after $warm_up passes: $fds_start open fds, VmRSS $rss_start kB"

stamp=1500000001
while [ "$(shown_pass)" -lt "$passes" ]; do
  value=$((1000 + made))
  change_count "$value" "$stamp"
  made=$((made + 1))
  stamp=$((stamp + 1))
  until [ "$(shown_value)" = "$value" ]; do
    kill -0 "$pid" 2>/dev/null || { cat "$scratch/errors"; echo "FAIL soak: ordex ended"; exit 1; }
    sleep 0.001
  done
  sleep "$(printf '0.%03d' $((RANDOM % 30)))"  # 0 to 29 ms
done

fds_end=$(open_fds)
rss_end=$(rss_kb)
passes_done=$(shown_pass)
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
sleep 0.2  # the frame reader's last line
read -r _ frame_count bad_passes bad_counts < <(grep '^END' "$frames")
changes_shown=$(grep -v '^END' "$frames" | tail -n 1 | awk '{ print $2 }')
echo "at the end ($passes_done passes): $fds_end open fds, VmRSS $rss_end kB"
echo "changes made $made, counted $changes_shown; frames $frame_count; bad pass numbers" \
  "$bad_passes, bad counts $bad_counts; exit status $status"

failed=0
[ "$status" -eq 0 ] || { echo "FAIL soak: exit status $status"; failed=1; }
[ "$changes_shown" -eq "$made" ] || { echo "FAIL soak: not every change counted once"; failed=1; }
[ "$bad_passes" -eq 0 ] && [ "$bad_counts" -eq 0 ] || { echo "FAIL soak: frames"; failed=1; }
grep -q "^Zusatz-Achsen: $((1000 + made - 1))"$'\r'"\$" "$summary" ||
  { echo "FAIL soak: the summary does not hold the last count"; failed=1; }
[ "$fds_end" -eq "$fds_start" ] || { echo "FAIL soak: open fds grew"; failed=1; }
[ "$rss_end" -le $((rss_start + 512)) ] || { echo "FAIL soak: resident memory grew"; failed=1; }
[ "$failed" -eq 0 ] && echo "ok   soak: $passes_done passes, $made changes each counted once"
exit "$failed"
