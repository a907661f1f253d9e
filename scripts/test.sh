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
