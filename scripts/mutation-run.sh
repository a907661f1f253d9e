#!/usr/bin/env bash
# Mutation run: puts one small fault at a time (a mutant) into the production code of a copy
# of the tree, rebuilds the copy and runs the default suite on it, and prints per file how many
# mutants the suite killed, which survived (file:line and the edit) and the kill rate, ready to
# paste into docs/reliability.md. The operators and the equivalents list: that page.
#   scripts/mutation-run.sh [--sample N] [--seed S] [--files GLOB]... [--jobs N] [--timeout SECONDS]
#   scripts/mutation-run.sh --again REPORT          only the survivors a run's report lists
#   scripts/mutation-run.sh --list [--files GLOB]   the mutants, nothing run
#   scripts/mutation-run.sh --self-test             the runner against a file of its own
# The copy and its build stay in build/mutation/ from run to run, so that a run rebuilds only
# what changed. Long: about half a minute a mutant; never part of the test command.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh
engine=(python3 scripts/lib/mutation.py)

if [ "${1:-}" = --self-test ]; then
  selftest=scripts/lib/mutation-selftest
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  # The operators and what they leave alone, held against the mutants they were reviewed as.
  "${engine[@]}" --source "$selftest" --include operators.cpp --list >"$scratch/operators" &&
    diff -u "$selftest/operators.expected" "$scratch/operators" ||
    fail "the mutants of $selftest/operators.cpp differ from operators.expected (above)"
  # The run: of the two mutants of two_mutants.cpp, its test kills one and cannot see the other.
  "${engine[@]}" --source "$selftest" --copy "$scratch/copy" --include two_mutants.cpp \
    --build 'g++ -std=c++20 -o two_mutants two_mutants.cpp two_mutants_test.cpp' \
    --test ./two_mutants >"$scratch/report" 2>"$scratch/progress" ||
    { cat "$scratch/progress"; fail "the self-test's run failed"; }
  grep -qxF '| all | 2 | 2 | 1 | 0 | 1 | 0 | 0 |' "$scratch/report" &&
    grep -qF 'two_mutants.cpp:3: `const char* const kReadByNoOne = "read by no one";`' \
      "$scratch/report" ||
    { cat "$scratch/report"; fail "the self-test's run did not report 1 killed and the text survived"; }
  echo "ok   mutation-run.sh --self-test: the operators' mutants as reviewed; 1 killed, 1 survived"
  exit 0
fi

# The suite the mutants run against needs what the test command's build needs.
ensure_packages "${BUILD_PACKAGES[@]}" libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth \
  x11-utils strace libxml2-utils python3 python3-jsonschema

jobs=2
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --jobs) jobs=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
# Production code is every C++ file under src/ but the Win32 backends, which this build does not
# compile, and the memory backends, which are the tests' stand-ins for the system. A dropped
# return that lets a function run off its end is refused by the compiler (not built), rather
# than killed by whatever the undefined behaviour does.
"${engine[@]}" --source . --copy build/mutation/tree \
  --include 'src/*.cpp' --include 'src/*.h' --exclude '*_win32.*' --exclude '*_memory.*' \
  --equivalents tests/mutation-equivalents.txt \
  --prepare 'cmake --preset default -DORDEX_BUILD_TESTS=ON -DCMAKE_CXX_FLAGS=-Werror=return-type' \
  --build "cmake --build --preset default -j$jobs" \
  --test "ctest --preset default -j$jobs --stop-on-failure -E '^DocumentsHoldTrue\$'" \
  "${args[@]}"
