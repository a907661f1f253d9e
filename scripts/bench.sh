#!/usr/bin/env bash
# Builds the optimised program and its benchmarks and prints ORDEX's cost figures, each next to
# its target and, where it has one, as a ratio to its baseline measured in the same run. Figures
# only: nothing here fails on a missed target (the machines are shared and noisy).
#
# Settings (environment):
#   ORDEX_BENCH_IDLE_SECONDS      how long the idle process is traced (60)
#   ORDEX_BENCH_IDLE_INTERVAL_MS  its TimerInterval (10000)
#   ORDEX_BENCH_PASSES            passes of the memory run at a 1 ms interval (100000)
#   ORDEX_BENCH_RUNS              timed starts per start-up figure (30)
#   ORDEX_BENCH_QUICK=1           a run of about half a minute: 20 s idle at 10 s, 5000 passes,
#                                 10 starts, shorter benchmarks (and a short Windows run)
#   ORDEX_BENCH_WINDOWS=0         leaves out the Windows figures (scripts/bench-windows.sh, which
#                                 has settings of its own)
#
# ORDEX's own output (its info lines, the text view's frames) goes to build/logs/bench-ordex.log
# and the Windows programs' to build/logs/bench-windows.log, so that the figures stand together.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

if [ "${ORDEX_BENCH_QUICK:-0}" = 1 ]; then
  : "${ORDEX_BENCH_IDLE_SECONDS:=20}" "${ORDEX_BENCH_PASSES:=5000}" "${ORDEX_BENCH_RUNS:=10}"
  export ORDEX_BENCH_WINDOWS_ROUNDS=${ORDEX_BENCH_WINDOWS_ROUNDS:-1}
  export ORDEX_BENCH_WINDOWS_SECONDS=${ORDEX_BENCH_WINDOWS_SECONDS:-10}
  export ORDEX_BENCH_WINDOWS_RUNS=${ORDEX_BENCH_WINDOWS_RUNS:-3}
  min_time=0.1
else
  min_time=0.5
fi
idle_seconds=${ORDEX_BENCH_IDLE_SECONDS:-60}
idle_interval_ms=${ORDEX_BENCH_IDLE_INTERVAL_MS:-10000}
passes=${ORDEX_BENCH_PASSES:-100000}
runs=${ORDEX_BENCH_RUNS:-30}

ensure_packages "${BUILD_PACKAGES[@]}" libbenchmark-dev strace hyperfine xvfb
cmake --preset bench >/dev/null
cmake --build --preset bench
build=build/bench
ordex=$PWD/$build/ordex
ordex_log=$PWD/build/logs/bench-ordex.log
mkdir -p "${ordex_log%/*}"
: >"$ordex_log"
load_at_start=$(cut -d' ' -f1-3 /proc/loadavg)

work=$(mktemp -d "${TMPDIR:-/tmp}/ordex-bench.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

gcc -O2 -o "$work/startup_timer" bench/startup_timer.c
gcc -O2 -static -o "$work/noop" bench/noop.c

summary_of() { echo "$1/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini"; }

# Starts ORDEX headless on installation $1 (further arguments: extra environment) with its output
# in $1/out, waits until its summary file is there and sets $started_pid.
start_ordex() {
  local dir=$1
  shift
  rm -f "$(summary_of "$dir")"
  env -u DISPLAY ORDEX_VIEW=text ORDEX_REGISTRY="$dir/registry.reg" "$@" "$ordex" \
    >"$dir/out" 2>&1 &
  started_pid=$!
  pids+=("$started_pid")
  local waited=0
  until [ -s "$(summary_of "$dir")" ]; do
    sleep 0.05
    waited=$((waited + 1))
    if [ $waited -gt 400 ]; then
      echo "ORDEX did not write its summary file:" >&2
      cat "$dir/out" >&2
      exit 1
    fi
  done
}

stop_ordex() {
  kill "$1"
  wait "$1" 2>/dev/null || true
}

status_kib() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v kib="$1" 'BEGIN { printf "%.2f MiB", kib / 1024 }'; }

figure() { printf '  %-44s %-22s target: %s\n' "$1" "$2" "$3"; }

# A virtual display for the FLTK window's figures.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
until [ -s "$work/display" ]; do sleep 0.05; done
display=":$(cat "$work/display")"

echo
echo "== Functions (Google Benchmark, $build/bench/ordex_bench)"
# Two 64 MiB driver files with the sample's markers near the end: one shaped like object code
# (about 31 % NULs, as a real driver file) and one of pseudo-random bytes (a NUL every 256 bytes).
make_sample_installation "$work/driver" 10000 0 >/dev/null
make_sample_installation "$work/driver-like" 10000 0 >/dev/null
"$build/bench/ordex_bench" --make-driver "$work/driver" >/dev/null
"$build/bench/ordex_bench" --make-driver-like "$work/driver-like" >/dev/null
driver=$work/driver/ROBOTER/DRIVERS/zt_ascii.o
driver_like=$work/driver-like/ROBOTER/DRIVERS/zt_ascii.o
DISPLAY=$display ORDEX_BENCH_INSTALL_DIR="$work/driver" \
  ORDEX_BENCH_LIKE_INSTALL_DIR="$work/driver-like" "$build/bench/ordex_bench" \
  --benchmark_min_time="$min_time" --benchmark_repetitions=5 \
  --benchmark_enable_random_interleaving=true | tee "$work/bench.out"
value() { awk -v name="$1" '$1 == "figure" && $2 == name { print $3 }' "$work/bench.out"; }

# grep's throughput on a file in bytes per second of CPU time (user and system, the mean of
# hyperfine's runs), as Google Benchmark gives the scan's: other work on a shared machine then
# slows neither figure.
grep_rate() {
  hyperfine -N --warmup 3 --min-runs 20 --export-csv "$work/grep.csv" \
    "grep -c -F -a 'Dateiformat : %s' $1" >/dev/null
  awk -F, -v bytes="$(stat -c %s "$1")" 'NR == 2 { print bytes / ($5 + $6) }' "$work/grep.csv"
}
grep_rate=$(grep_rate "$driver")
grep_like_rate=$(grep_rate "$driver_like")
scan_rate=$(value scan_64mib_bytes_per_second)
scan_like_rate=$(value scan_like_64mib_bytes_per_second)

echo
echo "== Whole process"
# Idle: every system call of the running program from the first wait for the timer (start-up
# is done then) until it is told to stop. A pass begins when that wait ends with a time-out.
# The program runs under strace rather than being attached to, which needs no ptrace rights.
make_sample_installation "$work/idle" "$idle_interval_ms" 0
strace -f -o "$work/idle.strace" env -u DISPLAY ORDEX_VIEW=text \
  ORDEX_REGISTRY="$work/idle/registry.reg" "$ordex" >"$work/idle/out" 2>&1 &
strace_pid=$!
pids+=("$strace_pid")
until [ -s "$(summary_of "$work/idle")" ]; do sleep 0.05; done
sleep "$idle_seconds"
kill "$(cat "/proc/$strace_pid/task/$strace_pid/children")"
wait "$strace_pid" || true
awk '
  { sub(/^[0-9]+ +/, "") }  # strace -f puts the thread id first
  /^--- SIG/ { exit }
  !idle && !/^ppoll\(/ { next }
  { idle = 1 }
  / = -?[0-9]+/ || /\(Timeout\)/ {
    name = $0; sub(/\(.*/, "", name); calls[name]++; total++
    if (/\(Timeout\)/) passes++
  }
  END {
    printf "idle_calls=%d\nidle_passes=%d\n", total, passes
    for (name in calls) printf "  %-16s %d\n", name, calls[name] >"/dev/stderr"
  }' "$work/idle.strace" >"$work/idle.counts" 2>"$work/idle.kinds"
source "$work/idle.counts"

# Start-up: exec until the summary file is closed after writing, against exec to exit of the
# static no-op and against the technician's script doing the same; the three start in turn, so
# that other work on the machine meets each alike, and the medians are compared. Where this user
# may, they run at a real-time priority, which other work on the machine does not get: the
# wall-clock figures then hold on a loaded machine too. CPU time (user and system, of the started
# process) is printed beside them; it holds either way.
make_sample_installation "$work/start" 10000 0
summary=$(summary_of "$work/start")
realtime=(chrt -f 1)
"${realtime[@]}" true 2>/dev/null || realtime=()
startup=$(env -u DISPLAY ORDEX_VIEW=text ORDEX_REGISTRY="$work/start/registry.reg" \
  "${realtime[@]}" "$work/startup_timer" -l "$ordex_log" "$runs" exit "$work/noop" -- \
  file "$summary" "$ordex" -- file "$summary" sh bench/technician_summary.sh)
{
  read -r noop_median _ noop_cpu
  read -r ordex_median _ ordex_cpu
  read -r script_median _ script_cpu
} <<<"$startup"

# Memory, headless: the peak once start-up is done and a few passes ran.
make_sample_installation "$work/headless" 100 0
start_ordex "$work/headless"
sleep 1
headless_hwm=$(status_kib "$started_pid" VmHWM)
stop_ordex "$started_pid"

# Memory with the FLTK window shown on a virtual display.
make_sample_installation "$work/fltk" 100 1
rm -f "$(summary_of "$work/fltk")"
DISPLAY=$display ORDEX_REGISTRY="$work/fltk/registry.reg" "$ordex" \
  >"$work/fltk/out" 2>&1 &
fltk_pid=$!
pids+=("$fltk_pid")
until [ -s "$(summary_of "$work/fltk")" ]; do sleep 0.05; done
sleep 2
fltk_hwm=$(status_kib "$fltk_pid" VmHWM)
fltk_module=$(grep -c ordex_fltk.so "/proc/$fltk_pid/maps" || true)
stop_ordex "$fltk_pid"

# Memory over many passes at a 1 ms interval, hidden. At the end the window is made visible
# through the store, so that the text view prints the refresh number the run reached.
make_sample_installation "$work/long" 1 0
start_ordex "$work/long"
long_pid=$started_pid
sleep 1
rss_start=$(status_kib "$long_pid" VmRSS)
fds_start=$(ls "/proc/$long_pid/fd" | wc -l)
# A pass and its wake-up take a little more than the interval.
sleep "$(awk -v n="$passes" 'BEGIN { print n / 1000 * 1.15 }')"
rss_end=$(status_kib "$long_pid" VmRSS)
write_sample_store "$work/long" 1 1
sleep 0.5
fds_end=$(ls "/proc/$long_pid/fd" | wc -l)
stop_ordex "$long_pid"
long_passes=$(awk '/Changes since start/ { last = $NF } END { print last }' "$work/long/out")

echo
echo "== Figures"
figure "refresh pass / bare stat of both files" \
  "$(printf '%.2f (%s ns / %s ns)' "$(value refresh_pass_over_bare)" \
    "$(printf '%.0f' "$(value refresh_pass_ns)")" "$(printf '%.0f' "$(value bare_queries_ns)")")" \
  "<= 2"
figure "  heap allocations / opens per pass" \
  "$(value refresh_allocs_per_pass) / $(value refresh_opens_per_pass)" "0 / 0"
figure "  with both settings set by policy: ratio" "$(printf '%.2f' \
  "$(value refresh_pass_with_policy_over_bare)") ($(value refresh_policy_allocs_per_pass) allocs, $(value refresh_policy_opens_per_pass) opens)" \
  "<= 2"
figure "  with the terminal view, hidden: ratio" "$(printf '%.2f' \
  "$(value refresh_pass_text_view_over_bare)") ($(value refresh_text_view_allocs_per_pass) allocs)" \
  "<= 2"
figure "  with the FLTK window, hidden: ratio" "$(printf '%.2f' \
  "$(value refresh_pass_fltk_hidden_over_bare)") ($(value refresh_fltk_hidden_allocs_per_pass) allocs)" \
  "<= 2"
scan_figure() {
  figure "$1" "$(ratio "$2" "$3") ($(awk -v s="$2" -v g="$3" \
    'BEGIN { printf "%.0f / %.0f MiB/s", s / 1048576, g / 1048576 }'))" ">= 1"
}
scan_figure "driver scan 64 MiB, driver-like / grep -c -F" "$scan_like_rate" "$grep_like_rate"
scan_figure "  the same on pseudo-random bytes / grep" "$scan_rate" "$grep_rate"
figure "  peak heap while scanning 1 / 64 MiB" \
  "$(value scan_like_1mib_peak_heap_bytes) / $(value scan_like_64mib_peak_heap_bytes) bytes" \
  "independent of the size"
figure "idle: system calls per pass" \
  "$(ratio "$idle_calls" "$idle_passes") ($idle_calls in $idle_seconds s, $idle_passes passes)" \
  "none between ticks"
figure "start-up headless / static no-op" \
  "$(ratio "$ordex_median" "$noop_median") ($ordex_median us / $noop_median us)" "<= 3"
figure "  CPU time of the two" \
  "$(ratio "$ordex_cpu" "$noop_cpu") ($ordex_cpu us / $noop_cpu us)" "(printed)"
figure "  timed at a real-time priority" "$([ ${#realtime[@]} -gt 0 ] && echo yes || echo no)" \
  "(printed; without it the wall clock follows the load)"
figure "start-up: grep+awk script / ORDEX" \
  "$(ratio "$script_median" "$ordex_median") ($script_median us)" "(printed)"
figure "peak RSS headless" "$(mib "$headless_hwm")" "< 6 MiB"
figure "peak RSS with the FLTK window (Xvfb)" "$(mib "$fltk_hwm")" \
  "(printed; module mapped: $([ "$fltk_module" -gt 0 ] && echo yes || echo no))"
figure "RSS at start / after $long_passes passes" "$(mib "$rss_start") / $(mib "$rss_end")" "flat"
figure "  open descriptors at start / at the end" "$fds_start / $fds_end" "flat"
echo
echo "Idle system calls by kind (the wait for the tick, then the pass):"
sort "$work/idle.kinds"
for run in idle headless fltk long; do
  { echo "== $run"; cat "$work/$run/out"; } >>"$ordex_log"
done
echo
echo "Load average at the start: $load_at_start; at the end of the Linux figures: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "ORDEX's own output of these runs: $ordex_log"

if [ "${ORDEX_BENCH_WINDOWS:-1}" != 0 ]; then
  bash scripts/bench-windows.sh ||
    echo "Windows figures: not measured (scripts/bench-windows.sh failed; see its output above)"
fi
