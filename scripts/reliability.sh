#!/usr/bin/env bash
# Reliability checks of the built program (build/default/ordex) that the unit tests do not make.
#
#   scripts/reliability.sh memcheck   the end-to-end start-up and a refresh pass that counts a
#                                     change, under valgrind memcheck: no error, no definite leak
#
# Runs on a scratch copy of examples/ with a registry store of its own; the repository is
# never written to (apart from the build folder).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

binary=build/default/ordex

usage() {
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

build() {
  ensure_packages "${BUILD_PACKAGES[@]}" valgrind
  [ -f build/default/CMakeCache.txt ] || cmake --preset default >/dev/null
  cmake --build --preset default --target ordex >/dev/null
}

# A scratch installation: $scratch/ROBOTER and $scratch/registry.reg, with the settings
# (TimerInterval in ms, Visible) when given.
make_scratch() {
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/ordex-reliability.XXXXXX")
  make_sample_installation "$scratch" "$@"
  mkdir -m 700 "$scratch/run"
}

summary_path() { echo "$scratch/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini"; }
machine_data_path() { echo "$scratch/ROBOTER/XOC/R1/Mada/\$Machine.dat"; }

# Starts ordex headless (text view, no display) in the background: $pid, output in $out.
start_ordex() {
  out=$1
  shift
  env -u DISPLAY ORDEX_VIEW=text ORDEX_REGISTRY="$scratch/registry.reg" \
    XDG_RUNTIME_DIR="$scratch/run" "$@" "$binary" >"$out" 2>"$out.err" &
  pid=$!
}

# Ends the instance with SIGTERM; its exit status in $status.
stop_ordex() {
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
}

memcheck_run() {
  local name=$1
  shift
  start_ordex "$scratch/$name.out" valgrind --quiet --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite --show-leak-kinds=definite --track-origins=yes \
    --log-file="$scratch/$name.valgrind"
  local reached=0
  "$@" || reached=$?
  stop_ordex
  if [ "$reached" -ne 0 ]; then
    tail -n 20 "$scratch/$name.out" "$scratch/$name.out.err" "$scratch/$name.valgrind"
    echo "FAIL memcheck $name: the run did not get where it should"
    return 1
  fi
  if [ "$status" -ne 0 ] || [ -s "$scratch/$name.valgrind" ]; then
    cat "$scratch/$name.valgrind" "$scratch/$name.out.err"
    echo "FAIL memcheck $name: exit status $status"
    return 1
  fi
  echo "ok   memcheck $name: no error, no definite leak"
}

summary_written() { grep -q '^Sensor: ' "$(summary_path)" 2>/dev/null; }
defaults_written() { grep -q '"Visible"=dword:00000000' "$scratch/registry.reg"; }
change_counted() { grep -q '^1 Changes since start' "$scratch/change.out"; }
passes_ran() { grep -q ' Changes since start *[1-9][0-9]$' "$scratch/change.out"; }

first_start() {
  wait_for 120 summary_written && wait_for 60 defaults_written
}

change_under_watch() {
  wait_for 120 summary_written
  sed -i 's/\$EX_AX_NUM=2/$EX_AX_NUM=3/' "$(machine_data_path)"
  wait_for 120 change_counted && wait_for 120 passes_ran &&
    grep -q '^Zusatz-Achsen: 3' "$(summary_path)"
}

memcheck() {
  build
  make_scratch
  trap 'rm -rf "$scratch"' EXIT
  echo "== valgrind memcheck of $binary on a copy of examples/"
  # The first start on a store without settings writes the two defaults; the second ticks
  # every 20 ms, shown, and counts a change of the machine data.
  memcheck_run first-start first_start
  write_sample_store "$scratch" 20 1
  rm "$(summary_path)"
  memcheck_run change change_under_watch
}

case "${1:-}" in
  memcheck) memcheck ;;
  *) usage ;;
esac
