#!/usr/bin/env bash
# Builds ORDEX and runs the whole test suite: the Linux build's tests, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, a compile of the benchmarks, bounded fuzzing,
# valgrind memcheck of an end-to-end run, a short soak, and the Windows build with its tests
# under Wine. Idempotent; installs what it needs with apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth \
  x11-utils strace libxml2-utils

for preset in default asan; do
  echo "== $preset build and tests"
  cmake --preset "$preset" -DORDEX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== the README's run command: scripts/run-sample.sh, ended after a few seconds"
sample_output=build/run-sample.out
cmake --preset sample >/dev/null && cmake --build --preset sample  # built before the clock runs
set +e
ORDEX_VIEW=text timeout -s TERM 15 bash scripts/run-sample.sh >"$sample_output" 2>&1
status=$?
set -e
# 124: still running when the time ran out, as it should be; it then ends on SIGTERM.
[ "$status" -eq 124 ] || { cat "$sample_output"; fail "run-sample.sh ended with status $status"; }
for row in 'ORDEX$' 'ASCII Driver Version: *1.3b$' 'Robot Controller: *XOC 5.6.11$' \
  'Basisrelease Version: *BR 5.6.3$' 'Computer Name: *[^ ]' 'IPO-Time: *12$' \
  'Number of external Axes: *2$' 'ASCII-Sensor: *SENSOR-A_2.0$' '0 Changes since start *[0-9]'; do
  grep -q "^$row" "$sample_output" || { cat "$sample_output"; fail "run-sample.sh showed no row '$row'"; }
done

echo "== benchmarks still build (they are run by scripts/bench.sh, never as a gate)"
cmake --preset bench >/dev/null
cmake --build --preset bench

echo "== fuzzing, 30 s per target"
bash scripts/fuzz.sh 30

echo "== valgrind memcheck of an end-to-end run, and a short soak"
bash scripts/reliability.sh memcheck
bash scripts/soak.sh 5000

echo "== Windows build, its tests and an end-to-end run under Wine"
bash scripts/windows-test.sh
