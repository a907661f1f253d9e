#!/usr/bin/env bash
# Builds ORDEX and runs it on a copy of the bundled sample installation (examples/).
# The repository itself is never modified: the copy and its registry store live in a scratch
# folder, which is printed so that its $Machine.dat can be edited while ORDEX runs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

ensure_packages "${BUILD_PACKAGES[@]}"
build_log=$PWD/build/logs/run-sample-build.log
mkdir -p "${build_log%/*}"
rm -f "$build_log"
echo "Building ORDEX (build output: $build_log)"
# A folder of its own, so that the developers' build/default keeps its tests.
run_logged "$build_log" cmake --preset sample
run_logged "$build_log" cmake --build --preset sample

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ordex-sample.XXXXXX")
make_sample_installation "$scratch" 2000 1
store="$scratch/registry.reg"

cat <<MSG
Sample installation: $scratch
  machine data: $scratch/ROBOTER/XOC/R1/Mada/\$Machine.dat
  summary file: $scratch/ROBOTER/IBGN/Xoc/R1/IBGN/Tarvex.ini
  registry:     $store
Change \$EX_AX_NUM in the machine data file and watch the count change (every 2 s).
Close the window or press Ctrl+C to end ORDEX.
MSG
ORDEX_REGISTRY="$store" exec build/sample/ordex
