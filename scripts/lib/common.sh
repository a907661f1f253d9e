# Helpers shared by the project's scripts (sourced, not run).

# Installs the Debian packages among "$@" that are not installed yet; nothing when all are. One
# line says which; the package manager's output goes to build/logs/packages.log and is shown
# only when it fails. A package mirror in the middle of a sync is an everyday event: an index
# that cannot be fetched is tried again a few times and then done without (one line says so),
# and versions of the two architectures that disagree are settled with the release's own
# versions. Only an install that cannot be done at all fails.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local log=$PWD/build/logs/packages.log
  mkdir -p "${log%/*}"
  echo "Installing ${missing[*]} (package manager's output: $log)"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
     ! dpkg --print-foreign-architectures | grep -qx i386; then
    run_logged "$log" "${sudo[@]}" dpkg --add-architecture i386
  fi
  update_package_lists "$log" "${sudo[@]}"
  install_packages "$log" "${sudo[@]}" -- "${missing[@]}"
}

# Pauses, in seconds, before each further try of an `apt-get update` that failed.
APT_UPDATE_PAUSES=(5 15)

# update_package_lists LOG [SUDO]: apt-get update, tried again after each of APT_UPDATE_PAUSES;
# when every try failed (an index being synchronised stays so for hours), one line says so and
# the package lists apt has are used.
update_package_lists() {
  local log=$1 output
  shift
  output=$(mktemp)
  local pause
  for pause in "${APT_UPDATE_PAUSES[@]}" last; do
    if log_output "$log" "$output" "$@" apt-get update; then
      rm -f "$output"
      return 0
    fi
    [ "$pause" = last ] || sleep "$pause"
  done
  local reason
  reason=$(grep -m 1 '^E: ' "$output" || tail -n 1 "$output")
  rm -f "$output"
  echo "NOTE: apt-get update failed $((${#APT_UPDATE_PAUSES[@]} + 1)) times; going on with" \
    "the package lists apt has (${reason#E: })"
}

# install_packages LOG [SUDO] -- PACKAGES...: apt-get install; when it fails only because the
# versions on offer disagree (an architecture's security update newer than its twin of the
# other architecture, which must match it exactly), tried again with the release's own
# versions (-t CODENAME). What still fails shows the package manager's output and fails.
install_packages() {
  local log=$1 prefix=()
  shift
  while [ "$1" != -- ]; do
    prefix+=("$1")
    shift
  done
  shift
  local install=("${prefix[@]}" env DEBIAN_FRONTEND=noninteractive apt-get
    -o DPkg::Lock::Timeout=900 install -y)
  local output status=0 codename
  output=$(mktemp)
  codename=$(release_codename)
  log_output "$log" "$output" "${install[@]}" "$@" || status=$?
  if [ "$status" -ne 0 ] && [ -n "$codename" ] && versions_disagree "$output"; then
    echo "NOTE: the versions on offer disagree; installing the release's own ($codename)"
    status=0
    log_output "$log" "$output" "${install[@]}" -t "$codename" "$@" || status=$?
  fi
  if [ "$status" -ne 0 ] && [ -n "$codename" ] && versions_disagree "$output"; then
    settle_twins "$log" "$output" "$codename" "${install[@]}" -- "$@" && status=0
  fi
  if [ "$status" -ne 0 ]; then
    cat "$output" >&2
    rm -f "$output"
    fail "apt-get install $* ended with status $status (output above, and in $log)"
  fi
  rm -f "$output"
}

# settle_twins LOG OUTPUT_FILE CODENAME INSTALL... -- PACKAGES...: the last resort for versions
# that disagree. A library installed earlier with its security update (amd64) cannot get its
# i386 twin while the mirror offers no i386 index of those updates, since the twins of a
# Multi-Arch "same" library must have one version: such a library goes back to the release's
# version, the one its twin is offered at, and both are installed with it. Asked only for the
# libraries apt names, a round at a time; one line names them. Returns 1 when that does not help
# either (OUTPUT_FILE then holds apt's last words).
settle_twins() {
  local log=$1 output=$2 codename=$3 install=()
  shift 3
  while [ "$1" != -- ]; do
    install+=("$1")
    shift
  done
  shift
  local pins=() more round
  for round in 1 2 3 4 5; do
    mapfile -t more < <(twin_pins "$output" "$codename" "${pins[@]}")
    [ ${#more[@]} -gt 0 ] || return 1
    pins+=("${more[@]}")
    if log_output "$log" "$output" "${install[@]}" -t "$codename" --allow-downgrades "$@" \
      "${pins[@]}"; then
      echo "NOTE: the mirror offers no twin of the installed version of" \
        "$(printf '%s\n' "${pins[@]}" | sed -n 's/=.*//p' | tr '\n' ' ')so it goes back to the" \
        "release's version"
      return 0
    fi
  done
  return 1
}

# twin_pins OUTPUT_FILE CODENAME [PINNED...]: for each library of another architecture that
# apt-get's output says it cannot install ("Depends: libx:i386 ... but it is not going to be
# installed") and whose twin of this architecture is installed at another version than the one
# the release offers it at, that version for the twin ("libx:amd64=1.0") and the library
# ("libx:i386"); nothing for those already PINNED.
twin_pins() {
  local output=$1 codename=$2 native name arch installed offered
  shift 2
  native=$(dpkg --print-architecture)
  grep -oE 'Depends: [^ ]+:[a-z0-9]+ ' "$output" | sed 's/^[A-Za-z-]*Depends: //; s/ $//' |
    sort -u | while IFS=: read -r name arch; do
      [ "$arch" != "$native" ] || continue
      printf '%s\n' "$@" | grep -q "^$name:$native=" && continue
      installed=$(dpkg-query -W -f='${Version}' "$name:$native" 2>/dev/null) || continue
      offered=$(apt-cache -t "$codename" policy "$name:$arch" | awk '/Candidate:/ {print $2}')
      [ -n "$installed" ] && [ -n "$offered" ] && [ "$offered" != '(none)' ] || continue
      [ "$installed" != "$offered" ] || continue
      printf '%s\n' "$name:$native=$offered" "$name:$arch"
    done
}

# versions_disagree OUTPUT_FILE: whether apt-get's output tells of dependencies it could not
# meet with the versions on offer ("The following packages have unmet dependencies: libx:i386 :
# Depends: liby:i386 (= 2) but 1 is to be installed"), rather than of a package that is not
# there at all ("Unable to locate package").
versions_disagree() {
  grep -qiE 'but [^ ]+ is to be installed|unmet dependencies' "$1"
}

# The release's code name (bookworm), or nothing.
release_codename() {
  (
    # shellcheck disable=SC1091
    . /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}"
  )
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

# The packages every build of ORDEX on Linux needs.
BUILD_PACKAGES=(cmake make g++ libfltk1.3-dev)

# use_scratch_wine_prefix NAME [WINEARCH]: a Wine prefix of its own in a new scratch folder
# ($work, named after NAME), without downloads of Wine's .NET and HTML engines (ORDEX needs
# neither). At exit the programs whose process ids stand in wine_pids are ended, Wine's server
# with them, and the folder goes.
wine_pids=()
use_scratch_wine_prefix() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1.XXXXXX")
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  [ -z "${2:-}" ] || export WINEARCH=$2
  trap end_scratch_wine_prefix EXIT
}

end_scratch_wine_prefix() {
  local pid
  for pid in "${wine_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}

# Chooses how the Windows build is run under Wine and exports the choice for the scripts:
# ORDEX_WINDOWS_PRESET, ORDEX_MINGW_PREFIX, ORDEX_WINE_ARCHS (the prefixes to test in) and
# WINEARCH. Wine starts 32-bit Windows programs only where the kernel runs 32-bit x86 programs,
# and some virtual machines' kernels do not (no IA32 emulation); there the same tests run on the
# 64-bit build in a 64-bit prefix, through Wine's 64-bit loader, and say so. Either build reads
# and writes the registry's 32-bit view, as the 32-bit controller software does.
choose_wine() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export ORDEX_WINDOWS_PRESET=windows ORDEX_MINGW_PREFIX=i686-w64-mingw32 \
      ORDEX_WINE_ARCHS="win32 win64"
    return 0
  fi
  echo "NOTE: this kernel cannot run 32-bit x86 programs, so Wine cannot start the 32-bit" \
    "ordex.exe here; the Windows tests run on the 64-bit build (preset windows-x64) instead."
  ensure_packages g++-mingw-w64-x86-64-posix wine64
  # The wine command prefers the 32-bit loader whenever it is installed; this one never does.
  local shim=$PWD/build/wine64-loader
  mkdir -p "$shim"
  printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
    >"$shim/wine"
  chmod +x "$shim/wine"
  export PATH=$shim:$PATH ORDEX_WINDOWS_PRESET=windows-x64 ORDEX_MINGW_PREFIX=x86_64-w64-mingw32 \
    ORDEX_WINE_ARCHS=win64 WINEARCH=win64
}

# make_sample_installation DIR [INTERVAL_MS VISIBLE]: a copy of the sample installation
# (examples/ROBOTER) in DIR, with a registry store of its own (see write_sample_store).
make_sample_installation() {
  mkdir -p "$1"
  cp -R examples/ROBOTER "$1/"
  write_sample_store "$@"
}

# write_sample_store DIR [INTERVAL_MS VISIBLE]: DIR/registry.reg with the controller's key, its
# InstallationDir DIR, and the two settings when given; replaced at once, so that a running
# ORDEX never reads half of it.
write_sample_store() {
  local dir=$1
  {
    printf '%s\r\n' 'REGEDIT4' '' \
      '[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex Roboter GmbH\Version]' \
      '"XOCVersion"="XOC 5.6.11"' '"Version"="BR 5.6.3"' "\"InstallationDir\"=\"$dir\""
    if [ $# -eq 3 ]; then
      printf '%s\r\n' '' \
        '[HKEY_LOCAL_MACHINE\SOFTWARE\Tarvex Roboter GmbH\Tarvex PANO\Customer Preferences\ZT\Service\ORDEX]' \
        "$(printf '"TimerInterval"=dword:%08x' "$2")" "$(printf '"Visible"=dword:%08x' "$3")"
    fi
  } >"$dir/registry.reg.new"
  mv "$dir/registry.reg.new" "$dir/registry.reg"
}
