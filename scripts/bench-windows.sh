#!/usr/bin/env bash
# ORDEX's cost on Windows, measured under Wine, as figures next to its targets. Figures only:
# nothing here fails on a missed target. scripts/bench.sh runs it after the Linux figures; it
# also runs alone.
#
# The watch: ordex.exe running hidden at a TimerInterval of 100 ms, against the least a Windows
# program can do for the same job (bench/bare_timer_window.cpp: a window never shown, whose
# 100 ms timer looks at $Machine.dat's attributes and does nothing else). Counted is the CPU time
# of the program's process and of the wineserver that serves its registry, file and window
# calls, from the scheduler's own account (/proc/PID/task/*/schedstat, nanoseconds), over a
# stretch of the running program after its start-up. The two alternate, round by round; the
# figure is the ratio of the medians of process and server together.
#
# The start-up: wine ordex.exe until its summary file is closed after writing, against wine
# running a no-op program (bench/noop.c cross-built), started in turn.
#
# Settings (environment):
#   ORDEX_BENCH_WINDOWS_ROUNDS    rounds of each program (3)
#   ORDEX_BENCH_WINDOWS_SECONDS   seconds each round counts (20)
#   ORDEX_BENCH_WINDOWS_RUNS      timed starts of each for the start-up (10)
#   ORDEX_BENCH_LOG               where the programs' own output goes (build/logs/bench-windows.log)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

rounds=${ORDEX_BENCH_WINDOWS_ROUNDS:-3}
seconds=${ORDEX_BENCH_WINDOWS_SECONDS:-20}
runs=${ORDEX_BENCH_WINDOWS_RUNS:-10}

if [ "${1:-}" != --inside-display ]; then
  ensure_packages xvfb xauth gcc
  choose_wine >/dev/null
  build=build/$ORDEX_WINDOWS_PRESET
  log=${ORDEX_BENCH_LOG:-$PWD/build/logs/bench-windows.log}
  mkdir -p "${log%/*}"
  : >"$log"
  run_logged "$log" cmake --preset "$ORDEX_WINDOWS_PRESET"
  run_logged "$log" cmake --build --preset "$ORDEX_WINDOWS_PRESET" --target ordex bare_timer_window
  ORDEX_BENCH_BUILD=$build ORDEX_BENCH_LOG=$log xvfb-run -a -s "-screen 0 1024x768x24" \
    bash "$0" --inside-display
  exit 0
fi

# ---- From here on under Xvfb, in a Wine prefix of our own.
build=$ORDEX_BENCH_BUILD
log=$ORDEX_BENCH_LOG
use_scratch_wine_prefix ordex-bench-wine
set -o errtrace
trap 'echo "bench-windows.sh: line $LINENO failed (the programs'"'"' output: $log)" >&2' ERR

install_dir=$WINEPREFIX/drive_c/XOC
summary=$install_dir/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini
machine_data='C:\XOC\ROBOTER\XOC\R1\Mada\$Machine.dat'

reg_add() { wine reg add "$@" /reg:32 /f >>"$log" 2>&1; }

# The prefix, with the sample installation and ORDEX's settings: hidden, 100 ms. Its server
# stays up between the rounds (it would otherwise end a moment after its last program), so that
# the same one is counted throughout.
mkdir -p "$WINEPREFIX"
wineserver -p
wine wineboot --init >>"$log" 2>&1
mkdir -p "$install_dir"
cp -R examples/ROBOTER "$install_dir/"
version_key="HKLM\\$VersionKey"
settings_key="HKLM\\$SettingsKey"
reg_add "$version_key" /v XOCVersion /t REG_SZ /d 'V8.6.1'
reg_add "$version_key" /v Version /t REG_SZ /d 'BR 8.6'
reg_add "$version_key" /v InstallationDir /t REG_SZ /d 'C:\XOC'
reg_add "$settings_key" /v TimerInterval /t REG_DWORD /d 100
reg_add "$settings_key" /v Visible /t REG_DWORD /d 0
"$ORDEX_MINGW_PREFIX-gcc" -O2 -s -o "$work/noop.exe" bench/noop.c
gcc -O2 -o "$work/startup_timer" bench/startup_timer.c

# The prefix's server: the one whose folder is named after the prefix's device and inode.
server_pid() {
  local name pid
  name=server-$(stat -c %D "$WINEPREFIX")-$(printf '%x' "$(stat -c %i "$WINEPREFIX")")
  for pid in /proc/[0-9]*; do
    case $(readlink "$pid/cwd" 2>/dev/null) in
      */"$name") echo "${pid#/proc/}" && return 0 ;;
    esac
  done
  return 1
}
wine wineboot >>"$log" 2>&1
server=$(server_pid) || fail "no wineserver for $WINEPREFIX"

# CPU time of all threads of a process so far, in nanoseconds.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%.0f\n", sum }'; }

# The prefix's own services keep the server busy for a while after it starts; the rounds begin
# once it has spent less than 5 ms in two seconds (or after a minute).
server_quiet() {
  local before
  before=$(cpu_ns "$server")
  sleep 2
  [ $(($(cpu_ns "$server") - before)) -lt 5000000 ]
}
wait_for 60 server_quiet || true

# measure READY COMMAND...: starts COMMAND under Wine, waits until READY succeeds and a little
# more, then prints the CPU milliseconds of its process and of the server over $seconds.
measure() {
  local ready=$1 pid p0 s0 p1 s1
  shift
  wait_for 60 server_quiet || true
  kill -0 "$server" 2>/dev/null || fail "the wineserver ended"
  wine "$@" >>"$log" 2>&1 &
  pid=$!
  wine_pids+=("$pid")
  wait_for 60 $ready || fail "$* did not get ready"
  sleep 2
  p0=$(cpu_ns "$pid") s0=$(cpu_ns "$server")
  sleep "$seconds"
  p1=$(cpu_ns "$pid") s1=$(cpu_ns "$server")
  kill "$pid" 2>/dev/null || fail "$* ended during its round"
  wait "$pid" 2>/dev/null || true
  kill -0 "$server" 2>/dev/null || fail "the wineserver ended during the round"
  echo "$(((p1 - p0) / 1000000)) $(((s1 - s0) / 1000000))"
}

summary_written() { [ -s "$summary" ]; }
always() { true; }

# The first window of a prefix brings up its desktop, which keeps the server busy for a while: a
# round of the bare window that is not counted comes first. Each round then starts on a quiet
# server.
bare_timer_window=("$build/bare_timer_window.exe" "$machine_data" 100)
wine "${bare_timer_window[@]}" >>"$log" 2>&1 &
wine_pids+=($!)
sleep 3
kill "${wine_pids[-1]}" 2>/dev/null || true
wait "${wine_pids[-1]}" 2>/dev/null || true

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
: >"$work/ordex.rounds"
: >"$work/bare.rounds"
for ((round = 1; round <= rounds; round++)); do
  rm -f "$summary"
  measure summary_written "$build/ordex.exe" >>"$work/ordex.rounds"
  measure always "${bare_timer_window[@]}" >>"$work/bare.rounds"
done

# Start-up: the two start in turn; ordex.exe is ended once its summary is written.
rm -f "$summary"
startup=$("$work/startup_timer" -l "$log" "$runs" exit wine "$work/noop.exe" -- \
  file "$summary" wine "$build/ordex.exe")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
column_median() { awk -v c="$2" '{ print $c }' "$1" | median; }
total_median() { awk '{ print $1 + $2 }' "$1" | median; }
figure() { printf '  %-44s %-22s target: %s\n' "$1" "$2" "$3"; }

ordex_total=$(total_median "$work/ordex.rounds")
bare_total=$(total_median "$work/bare.rounds")
{ read -r noop_wall _ noop_cpu; read -r ordex_wall _ ordex_cpu; } <<<"$startup"

echo
echo "== Windows, under $(wine --version) ($(basename "$build"), Xvfb), load average $load_before before, $load_after after"
figure "watch at 100 ms, hidden: ordex.exe / bare timer window" \
  "$(awk -v a="$ordex_total" -v b="$bare_total" 'BEGIN { printf "%.2f", a / b }') ($ordex_total ms / $bare_total ms)" "<= 1.5"
figure "  process CPU in $seconds s, ordex.exe / bare" \
  "$(column_median "$work/ordex.rounds" 1) ms / $(column_median "$work/bare.rounds" 1) ms" "(printed)"
figure "  wineserver CPU in $seconds s, ordex.exe / bare" \
  "$(column_median "$work/ordex.rounds" 2) ms / $(column_median "$work/bare.rounds" 2) ms" "(printed)"
echo "    rounds (process, server ms): ordex.exe $(tr '\n' ';' <"$work/ordex.rounds")" \
  "bare $(tr '\n' ';' <"$work/bare.rounds")"
figure "start-up under Wine / a no-op program" \
  "$(awk -v a="$ordex_wall" -v b="$noop_wall" 'BEGIN { printf "%.2f", a / b }') ($ordex_wall us / $noop_wall us)" "(printed)"
figure "  process CPU, ordex.exe / no-op" "$ordex_cpu us / $noop_cpu us" "(printed)"
echo "The programs' own output: $log"
