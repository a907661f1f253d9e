#!/usr/bin/env bash
# Builds ORDEX and runs the whole test suite: the Linux build's tests, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, a compile of the benchmarks, bounded fuzzing,
# valgrind memcheck of an end-to-end run, a short soak, the bill of materials and the notices,
# and the Windows build with its tests under Wine and its rebuild compared byte for byte; of the
# mutation runner only its self-test (a full run takes hours). Idempotent;
# installs what it needs with apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

# Each step prints its heading, its results (a suite's closing line and the tests it skipped, an
# "ok" line per check) and the time it took; the build and test output goes to the log it names
# and is shown when the step fails.
step_start=
step() {
  close_step
  echo "== $*"
  step_start=$SECONDS
}
close_step() {
  [ -z "$step_start" ] || echo "   took $((SECONDS - step_start)) s"
}
trap close_step EXIT

step "packages the build and the tests need"
ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth \
  x11-utils strace libxml2-utils python3 python3-jsonschema

logs=$PWD/build/logs
mkdir -p "$logs"
step "set-up: package installs that survive a package mirror in sync (scripts/packages-test.sh)"
bash scripts/packages-test.sh

step "the mutation runner on a file of its own (scripts/mutation-run.sh --self-test)"
bash scripts/mutation-run.sh --self-test

for preset in default asan; do
  log=$logs/$preset.log
  rm -f "$log"
  step "$preset build and tests (output: $log)"
  run_logged "$log" cmake --preset "$preset" -DORDEX_BUILD_TESTS=ON
  run_logged "$log" cmake --build --preset "$preset"
  run_ctest "$log" --preset "$preset"
done

step "the Linux build's bill of materials against the schema and the build, and its notices"
# Debian's python, which has python3-jsonschema.
/usr/bin/python3 tests/release_files_check.py build/default build/default/ordex.cdx.json

step "the README's run command: scripts/run-sample.sh, ended after a few seconds"
sample_output=build/run-sample.out
# Built before the clock runs.
run_logged "$logs/sample.log" cmake --preset sample
run_logged "$logs/sample.log" cmake --build --preset sample
set +e
ORDEX_VIEW=text timeout -s TERM 20 bash scripts/run-sample.sh >"$sample_output" 2>&1
status=$?
set -e
# 124: still running when the time ran out, as it should be; it then ends on SIGTERM.
[ "$status" -eq 124 ] || { cat "$sample_output"; fail "run-sample.sh ended with status $status"; }
for row in 'ORDEX$' 'ASCII Driver Version: *1.3b$' 'Robot Controller: *XOC 5.6.11$' \
  'Basisrelease Version: *BR 5.6.3$' 'Computer Name: *[^ ]' 'IPO-Time: *12$' \
  'Number of external Axes: *2$' 'ASCII-Sensor: *SENSOR-A_2.0$' '0 Changes since start *[0-9]'; do
  grep -q "^$row" "$sample_output" || { cat "$sample_output"; fail "run-sample.sh showed no row '$row'"; }
done
# Quiet set-up: a line per step of ours (packages, build) before the sample's own description.
preamble=$(sed -n '/^Sample installation:/q;p' "$sample_output" | wc -l)
[ "$preamble" -le 3 ] || { cat "$sample_output"; fail "run-sample.sh printed $preamble lines before its sample"; }
echo "run-sample.sh: $preamble line(s) before the sample, every row shown"

step "benchmarks still build (they are run by scripts/bench.sh, never as a gate)"
run_logged "$logs/bench.log" cmake --preset bench
run_logged "$logs/bench.log" cmake --build --preset bench

step "fuzzing, 30 s per target"
bash scripts/fuzz.sh 30

step "valgrind memcheck of an end-to-end run"
bash scripts/reliability.sh memcheck

step "a short soak"
bash scripts/soak.sh 5000

step "Windows build, its tests, an end-to-end run under Wine, the package, the signing, and two builds compared"
bash scripts/windows-test.sh

close_step
trap - EXIT
echo "== every step passed, in $SECONDS s"
