#!/usr/bin/env bash
# Checks ensure_packages against a package mirror in the middle of a sync, without network and
# without touching this machine's packages: apt runs on a configuration of its own (lists, state,
# cache, a status file and a dpkg that only notes what it was asked to install, all in a
# temporary folder) with three local sources: the release, its security updates (an update that
# needs a version nobody offers), and one whose Release file states a wrong size for its index,
# as a mirror's does while it is synchronised (apt's file method reports that as a hash sum
# mismatch, its http method as "File has unexpected size"; both end apt-get update with 100).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
codename=$(release_codename)
[ -n "$codename" ] || fail "/etc/os-release names no VERSION_CODENAME"

# make_package REPO NAME VERSION [DEPENDS]: a package with nothing in it, in the flat source REPO.
make_package() {
  local root=$scratch/build/$2_$3
  mkdir -p "$root/DEBIAN" "$scratch/$1"
  printf 'Package: %s\nVersion: %s\nArchitecture: all\nMaintainer: ORDEX tests <t@localhost>\nDescription: test package\n' \
    "$2" "$3" >"$root/DEBIAN/control"
  [ $# -lt 4 ] || echo "Depends: $4" >>"$root/DEBIAN/control"
  dpkg-deb --build --root-owner-group "$root" "$scratch/$1/$2_$3_all.deb" >/dev/null
}

# index_source REPO SUITE [STATED_SIZE]: the Packages index and Release file of REPO; the Release
# states STATED_SIZE as the index's size when given, as a mirror does while it is synchronised.
index_source() {
  local repo=$scratch/$1 deb
  for deb in "$repo"/*.deb; do
    dpkg-deb -f "$deb"
    printf 'Filename: ./%s\nSize: %s\nSHA256: %s\n\n' "${deb##*/}" "$(stat -c %s "$deb")" \
      "$(sha256sum <"$deb" | cut -d' ' -f1)"
  done >"$repo/Packages"
  printf 'Origin: ORDEX tests\nLabel: ORDEX tests\nSuite: %s\nCodename: %s\nDate: %s\nSHA256:\n %s %s Packages\n' \
    "$2" "$2" "$(LC_ALL=C date -u -R)" "$(sha256sum <"$repo/Packages" | cut -d' ' -f1)" \
    "${3:-$(stat -c %s "$repo/Packages")}" >"$repo/Release"
}

make_package release ordex-probe-tool 1.0
make_package release ordex-probe-lib 1.0
make_package release ordex-probe-app 1.0 'ordex-probe-lib (= 1.0)'
index_source release "$codename"
make_package security ordex-probe-app 1.1 'ordex-probe-lib (= 1.1)'
index_source security "$codename-security"
make_package syncing ordex-probe-other 1.0
index_source syncing "$codename-updates" 7

mkdir -p "$scratch"/etc/{apt.conf.d,preferences.d,sources.list.d,trusted.gpg.d} \
  "$scratch"/state/lists/partial "$scratch"/cache/archives/partial "$scratch/log"
touch "$scratch/state/status"
for repo in release security syncing; do
  echo "deb [trusted=yes] file:$scratch/$repo ./"
done >"$scratch/etc/sources.list"
# Query options go to the real dpkg; what would change the machine is only noted.
printf '#!/bin/sh\ncase "$1" in --print-*|--assert-*) exec /usr/bin/dpkg "$@";; esac\necho "$@" >>%s\n' \
  "$scratch/dpkg-calls" >"$scratch/dpkg"
chmod +x "$scratch/dpkg"
cat >"$scratch/apt.conf" <<EOF
Dir::Etc "$scratch/etc/";
Dir::State "$scratch/state/";
Dir::State::status "$scratch/state/status";
Dir::Cache "$scratch/cache/";
Dir::Log "$scratch/log/";
Dir::Bin::dpkg "$scratch/dpkg";
APT::Sandbox::User "root";
EOF
export APT_CONFIG=$scratch/apt.conf
APT_UPDATE_PAUSES=(0 0)

# ensure PACKAGE...: ensure_packages run from the scratch folder (its log lands there); its
# standard output and error in $scratch/out, its status returned.
ensure() {
  (cd "$scratch" && ensure_packages "$@") >"$scratch/out" 2>&1
}

expect_output() {
  grep -qE "$1" "$scratch/out" || { cat "$scratch/out"; fail "$2"; }
}

ensure ordex-probe-tool || { cat "$scratch/out"; fail "an index being synchronised stopped the install"; }
expect_output '^NOTE: apt-get update failed 3 times; going on with the package lists apt has \(Failed to fetch file:.*/syncing/' \
  "no line said that apt-get update failed and the install went on"
[ "$(grep -c '^NOTE' "$scratch/out")" -eq 1 ] || { cat "$scratch/out"; fail "more than one line for the failed update"; }
[ "$(grep -c '^\$ apt-get update' "$scratch/build/logs/packages.log")" -eq 3 ] ||
  fail "apt-get update was not tried three times"
grep -q 'ordex-probe-tool_1.0_all.deb' "$scratch/dpkg-calls" || fail "ordex-probe-tool was not installed"
# The mirror is in sync again.
sed -i '/syncing/d' "$scratch/etc/sources.list"

ensure ordex-probe-app ordex-probe-lib || { cat "$scratch/out"; fail "versions that disagree stopped the install"; }
[ "$(grep -c . "$scratch/out")" -eq 2 ] || { cat "$scratch/out"; fail "more than two lines for the install"; }
expect_output "^NOTE: the versions on offer disagree; installing the release's own \($codename\)" \
  "no retry with the release's own versions"
grep -q 'ordex-probe-app_1.0_all.deb' "$scratch/dpkg-calls" || fail "ordex-probe-app 1.0 was not installed"

if ensure ordex-probe-missing; then
  cat "$scratch/out"
  fail "an install that cannot be done succeeded"
fi
expect_output 'Unable to locate package ordex-probe-missing' "the package manager's output was not shown"
expect_output '^FAIL: apt-get install ordex-probe-missing ended with status 100' "no closing FAIL line"
# apt's own words, as a mirror in sync left them on a machine with amd64 security updates
# installed and no i386 index of them.
printf '%s\n' 'The following packages have unmet dependencies:' \
  ' libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 (>= 1.0.0) but it is not going to be installed' \
  'E: Unable to correct problems, you have held broken packages.' >"$scratch/captured"
versions_disagree "$scratch/captured" || fail "apt's unmet dependencies were not taken for versions that disagree"
echo 'E: Unable to locate package ordex-probe-missing' >"$scratch/captured"
! versions_disagree "$scratch/captured" || fail "a package that is not there was taken for versions that disagree"

echo "ensure_packages: a failed index is tried 3 times and done without, versions that disagree are settled, an impossible install fails with apt's output"
