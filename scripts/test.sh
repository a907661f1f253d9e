#!/usr/bin/env bash
# Builds ORDEX and runs the whole test suite: the Linux build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and whatever further stages the project has
# (each prints its own summary). Idempotent; installs what it needs with apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth \
  x11-utils strace

for preset in default asan; do
  echo "== $preset build and tests"
  cmake --preset "$preset" -DORDEX_BUILD_TESTS=ON >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== Windows build, its tests and an end-to-end run under Wine"
bash scripts/windows-test.sh
