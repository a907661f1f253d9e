# shellcheck shell=bash
# What the project's scripts share (sourced, not run): the small helpers below, and each concept
# in a file of its own beside this one. Every script sources this file alone: the concepts lean on
# these helpers, and defining a function costs nothing.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# wait_for SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds or time runs out.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

# log_output LOG OUTPUT_FILE COMMAND...: runs COMMAND with its output in OUTPUT_FILE, added to
# LOG too; its status is the command's.
log_output() {
  local log=$1 output=$2 status=0
  shift 2
  "$@" >"$output" 2>&1 </dev/null || status=$?
  { echo "\$ $*"; cat "$output"; } >>"$log"
  return "$status"
}

# run_logged LOG COMMAND...: runs COMMAND with its output added to LOG; when it fails, shows that
# output and fails.
run_logged() {
  local log=$1 output status=0
  shift
  output=$(mktemp)
  log_output "$log" "$output" "$@" || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$output" >&2
    rm -f "$output"
    fail "$* ended with status $status (output above, and in $log)"
  fi
  rm -f "$output"
}

# shellcheck source=scripts/lib/registry_keys.sh
source "$(dirname "${BASH_SOURCE[0]}")/registry_keys.sh"
# shellcheck source=scripts/lib/packages.sh
source "$(dirname "${BASH_SOURCE[0]}")/packages.sh"
# shellcheck source=scripts/lib/ctest_skips.sh
source "$(dirname "${BASH_SOURCE[0]}")/ctest_skips.sh"
# shellcheck source=scripts/lib/wine_prefix.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine_prefix.sh"
# shellcheck source=scripts/lib/event_trace.sh
source "$(dirname "${BASH_SOURCE[0]}")/event_trace.sh"
# shellcheck source=scripts/lib/build_facts.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_facts.sh"
# shellcheck source=scripts/lib/sample_installation.sh
source "$(dirname "${BASH_SOURCE[0]}")/sample_installation.sh"
