# shellcheck shell=bash
# ctest's skip policy: run_ctest and how it tells a skip this machine excuses from one it could
# have run (sourced by common.sh, not run).

# run_ctest LOG ARGS...: runs ctest with ARGS, its output (verbose: every test's own) added to
# LOG, and prints its closing line ("100% tests passed, 0 tests failed out of N"), which counts a
# skipped test as passed; so it then names every GoogleTest test that skipped, in whichever entry
# (the cross-built suite is one entry running the whole binary), and fails on a skip that this
# machine could have run (skip_cannot_run_here). A failure shows the whole output.
run_ctest() {
  local log=$1 start=1
  shift
  if [ -f "$log" ]; then start=$(($(wc -l <"$log") + 1)); fi
  run_logged "$log" ctest --verbose "$@"
  grep -aE '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1
  tail -n "+$start" "$log" | gtest_outcomes >"$log.outcomes"
  check_skips "$log.outcomes"
}

# gtest_outcomes: reads ctest's verbose output (each line of a test's output after "N: ") and
# prints one line per GoogleTest test that passed ("OK<tab>name") or skipped
# ("SKIPPED<tab>name<tab>reason", the reason being the message after "Skipped").
gtest_outcomes() {
  tr -d '\r' | awk '
    { entry = ""; line = $0 }
    match(line, /^[0-9]+: /) { entry = substr(line, 1, RLENGTH); line = substr(line, RLENGTH + 1) }
    line ~ /^\[ RUN      \] / { reason[entry] = ""; in_reason[entry] = 0; next }
    line ~ /: Skipped$/ { in_reason[entry] = 1; next }
    line ~ /^\[       OK \] .* \([0-9]+ ms\)$/ { sub(/ \([0-9]+ ms\)$/, "", line); print "OK\t" substr(line, 14); next }
    line ~ /^\[  SKIPPED \] .* \([0-9]+ ms\)$/ {
      sub(/ \([0-9]+ ms\)$/, "", line); print "SKIPPED\t" substr(line, 14) "\t" reason[entry]
      in_reason[entry] = 0; next
    }
    in_reason[entry] && line != "" { reason[entry] = reason[entry] (reason[entry] == "" ? "" : " ") line }'
}

# check_skips OUTCOMES: prints how many tests skipped, each by name with its reason; a test that
# skipped in one entry and passed in another (the window tests, run again under Xvfb) lost
# nothing. Fails when one skipped for a reason this machine does not excuse.
check_skips() {
  local kind name reason lines=() unexcused=()
  while IFS=$'\t' read -r kind name reason; do
    [ "$kind" = SKIPPED ] || continue
    if grep -qxF $'OK\t'"$name" "$1"; then
      lines+=("  $name ($reason): passed in another entry")
    elif skip_cannot_run_here "$reason"; then
      lines+=("  $name ($reason): cannot run here")
    else
      lines+=("  $name ($reason): NOT EXCUSED, this machine can run it")
      unexcused+=("$name")
    fi
  done <"$1"
  echo "${#lines[@]} test(s) skipped${lines[0]:+:}"
  [ ${#lines[@]} -eq 0 ] || printf '%s\n' "${lines[@]}"
  [ ${#unexcused[@]} -eq 0 ] || fail "skipped although this machine can run them: ${unexcused[*]}"
}

# skip_cannot_run_here REASON: whether a test that skipped for REASON truly cannot run here.
# Root, an unprivileged user, a tmpfs and a display (Xvfb) are at hand wherever scripts/test.sh
# runs as root, so their lack excuses nothing there.
skip_cannot_run_here() {
  case $1 in
    # POSIX has no mandatory locks: no file is ever busy for a reader.
    'no file is ever busy here') return 0 ;;
    # Nor a locked range that refuses a read, nor a deletion pending while a file is open: the
    # POSIX backend's runs of those Windows rules have nothing to show; the memory backend's do.
    'POSIX locks are advisory: no read is ever refused' | \
      'POSIX has no deletion pending while a file is open') return 0 ;;
    # The text view's test for a machine without a display, where one is set.
    'a display is at hand') return 0 ;;
    '32-bit Windows has one view only') return 0 ;;
    # Where Wine behaves otherwise than Windows documents (a locked range, a pending deletion,
    # a POSIX delete), the memory backend's run of the same contract stands for Windows.
    'Wine '*) return 0 ;;
    # Wine keeps the read-only attribute in the mode bits, which root writes through.
    'read-only files stay writable for this user') [ "$(id -u)" -eq 0 ] ;;
    # The POSIX contract runs as the user that runs the tests; as root nothing is denied.
    'the superuser writes any file whatever its mode') [ "$(id -u)" -eq 0 ] ;;
    'needs root'* | 'only root'* | 'no unprivileged user'* | *'not reachable for nobody')
      [ "$(id -u)" -ne 0 ] ;;
    *tmpfs*) ! can_mount_tmpfs ;;
    *) return 1 ;;
  esac
}

can_mount_tmpfs() {
  local dir status=0
  [ "$(id -u)" -eq 0 ] || return 1
  dir=$(mktemp -d)
  mount -t tmpfs -o size=1m tmpfs "$dir" 2>/dev/null && umount "$dir" || status=1
  rmdir "$dir"
  return "$status"
}
