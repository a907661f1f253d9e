#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang-14 with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds (default 30),
# starting from a scratch copy of its seed corpus in fuzz/corpus/<target>/. Fails when any
# target finds a crash, a leak, a sanitizer report or a broken invariant (the input that did it
# is kept under build/fuzz/artifacts/), and when one ran no input at all. The repository is never written to.
#
# Usage: scripts/fuzz.sh [seconds per target] [target...]
# Longer runs: scripts/fuzz.sh 3600            (an hour each)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for corpus in fuzz/corpus/*/; do
    name=$(basename "$corpus")
    [ -f "fuzz/${name}_fuzzer.cpp" ] && targets+=("$name")
  done
fi

ensure_packages cmake make clang-14 libfuzzer-14-dev libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/ordex-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failed=()
for target in "${targets[@]}"; do
  work="$scratch/$target"
  mkdir -p "$work/corpus"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  echo "== fuzz $target for ${seconds}s"
  status=0
  (cd "$work" && exec "$OLDPWD/build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" \
     -timeout=20 -rss_limit_mb=1024 -print_final_stats=1 \
     -artifact_prefix="$OLDPWD/$artifacts/$target-" corpus) >"$work/log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  corpus_size=$(ls "$work/corpus" | wc -l)
  if [ "$status" -ne 0 ]; then
    tail -n 40 "$work/log"
    echo "FAIL fuzz $target (status $status); input kept in $artifacts/"
    failed+=("$target")
  elif [ "${runs:-0}" -eq 0 ]; then
    # No crash in no run proves nothing.
    tail -n 40 "$work/log"
    echo "FAIL fuzz $target: no input was run"
    failed+=("$target")
  else
    echo "ok   fuzz $target: $runs runs, corpus ${corpus_size} inputs, no crash"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing failed in: ${failed[*]}"
  exit 1
fi
