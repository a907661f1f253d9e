# shellcheck shell=bash
# Package set-up: ensure_packages and the steps that carry it through a package mirror in the
# middle of a sync (sourced by common.sh, not run).

# The packages every build of ORDEX on Linux needs.
# shellcheck disable=SC2034  # used by the scripts that source this
BUILD_PACKAGES=(cmake make g++ libfltk1.3-dev)

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

