#!/usr/bin/env bash
# Proves that a build is made from its source alone: the commit built a second time, from a copy
# of the source in another folder and minutes later, gives the same bytes. Compared byte for
# byte: the Linux program, its window module, notices and bill of materials (preset "default"),
# and of both Windows presets ("windows", "windows-x64") ordex.exe, the custom actions'
# ordex_setup.dll, the notices and the bill of materials; the package by its content (every
# table, every stream, the summary information and every file it installs). The first
# difference is printed. The first build is the one the test command made before (build/PRESET),
# brought up to date; the second builds only the release's targets. A signed release verifies
# as a rebuild once its signatures are removed (scripts/signing-test.sh). Run by
# scripts/windows-test.sh after its builds; needs the MinGW-w64 cross-compilers and msitools.
#
# scripts/reproducible-test.sh [PRESET...]: those presets only.
# scripts/reproducible-test.sh --self-check: proves that the comparison catches a change: the
# second build of the Linux program gets the time of day put in (__TIME__), and must differ.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

self_check=
if [ "${1:-}" = --self-check ]; then
  self_check=1
  shift
fi
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(default windows windows-x64)
[ -z "$self_check" ] || presets=(default)

ensure_packages cmake make g++ python3 msitools
work=$(mktemp -d "${TMPDIR:-/tmp}/ordex-rebuild.XXXXXX")
trap 'rm -rf "$work"' EXIT
logs=$PWD/build/logs
mkdir -p "$logs"
version=$(sed -n 's/^project(ordex VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
# The second build reads the commit's time from the environment, the first from git: both ways
# must give the same.
commit_time=$(git log -1 --format=%ct)

# The source as it is checked out, changes not yet committed included, without its builds.
copy_source() {
  mkdir -p "$1"
  git ls-files -z --cached --others --exclude-standard | grep -zv '^build/' |
    xargs -0 tar -cf - | tar -xf - -C "$1"
}

# plant SOURCE: the time of day put into the program, as a careless change would.
plant() {
  printf '\nextern const char kPlantedBuildTime[];\nconst char kPlantedBuildTime[] = __TIME__;\n' \
    >>"$1/src/app/run_form1.cpp"
}

# What each preset's release consists of: the targets to build and the files to compare.
targets_of() {
  case $1 in
    default) echo ordex ordex_bom ;;
    *) echo ordex_msi ordex_bom ;;
  esac
}
files_of() {
  case $1 in
    default) echo ordex ordex_fltk.so THIRD-PARTY-NOTICES.txt ordex.cdx.json ;;
    *) echo ordex.exe ordex_setup.dll THIRD-PARTY-NOTICES.txt "ordex-$version.cdx.json" ;;
  esac
}

# build SOURCE PRESET LOG [VAR=VALUE...]: the preset's release targets in SOURCE/build/PRESET.
build() {
  local source=$1 preset=$2 log=$3
  shift 3
  # shellcheck disable=SC2046  # the targets, one word each
  (cd "$source" && run_logged "$log" env "$@" cmake --preset "$preset" -DORDEX_BUILD_TESTS=OFF &&
    run_logged "$log" env "$@" cmake --build --preset "$preset" --target $(targets_of "$preset"))
}

# first_build PRESET LOG: the test command's build of PRESET, brought up to date (configured
# first where it is not there yet).
first_build() {
  [ -f "build/$1/CMakeCache.txt" ] || run_logged "$2" cmake --preset "$1"
  # shellcheck disable=SC2046
  run_logged "$2" cmake --build --preset "$1" --target $(targets_of "$1")
}

# section_at FILE OFFSET: the section of a PE or ELF file that holds the byte at OFFSET.
section_at() {
  local index name size vma lma offset rest sections=0
  while read -r index name size vma lma offset rest; do
    [[ $index =~ ^[0-9]+$ ]] || continue
    sections=$((sections + 1))
    if (($2 >= 16#$offset && $2 < 16#$offset + 16#$size)); then
      echo "$name"
      return
    fi
  done < <(objdump_of "$1" -h "$1" 2>/dev/null)
  # No section holds it: the headers, or a file with no sections at all (the package).
  [ "$sections" -gt 0 ] && echo headers || echo "no section"
}
objdump_of() {
  case $(head -c 2 "$1" | od -An -c | tr -d ' ') in
    MZ) "${mingw_prefix:-x86_64-w64-mingw32}-objdump" "${@:2}" ;;
    *) objdump "${@:2}" ;;
  esac
}

differences=0
# same NAME A B: whether A and B are the same bytes; else prints the first difference.
same() {
  local at first second
  cmp -s "$2" "$3" && return 0
  differences=$((differences + 1))
  if [ ! -e "$2" ] || [ ! -e "$3" ]; then
    echo "DIFFERS: $1: only one build has it"
    return 1
  fi
  read -r at first second < <(cmp -l "$2" "$3" 2>/dev/null | head -n 1) || true
  if [ -z "${at:-}" ]; then
    echo "DIFFERS: $1: $(stat -c %s "$2") bytes against $(stat -c %s "$3"), the shorter one its start"
    return 1
  fi
  case $1 in
    *.txt | *.json | *.idt | *suminfo*)
      echo "DIFFERS: $1, first at line $(head -c "$at" "$2" | wc -l):"
      diff "$2" "$3" | head -n 6 ;;
    *)
      printf 'DIFFERS: %s, first at byte %d (0x%x, in %s): 0x%02x against 0x%02x\n' "$1" \
        $((at - 1)) $((at - 1)) "$(section_at "$2" $((at - 1)))" $((8#$first)) $((8#$second)) ;;
  esac
  return 1
}

# msi_content MSI FOLDER: every table (as msidump writes it), every stream, the summary
# information and the files it installs, in FOLDER.
msi_content() {
  local msi
  mkdir -p "$2/tables" "$2/files"
  # (msidump writes the binary columns' files into the folder it runs in.)
  msi=$(realpath "$1")
  (cd "$2/tables" && msidump -t -s -d . "$msi" >/dev/null)
  msiinfo suminfo "$1" >"$2/suminfo.txt"
  msiextract -C "$2/files" "$1" >/dev/null
}

# same_msi NAME A B: whether two packages hold the same; else every difference.
same_msi() {
  local relative
  msi_content "$2" "$work/msi-a"
  msi_content "$3" "$work/msi-b"
  (cd "$work/msi-a" && find . -type f | sort) >"$work/msi-a.list"
  (cd "$work/msi-b" && find . -type f | sort) >"$work/msi-b.list"
  if ! cmp -s "$work/msi-a.list" "$work/msi-b.list"; then
    differences=$((differences + 1))
    echo "DIFFERS: $1: not the same tables, streams or files:"
    diff "$work/msi-a.list" "$work/msi-b.list" | head -n 6
  fi
  while read -r relative; do
    [ -e "$work/msi-b/$relative" ] && same "$1: ${relative#./}" "$work/msi-a/$relative" \
      "$work/msi-b/$relative" || true
  done <"$work/msi-a.list"
  rm -rf "$work/msi-a" "$work/msi-b"
  echo "compared: $1: $(grep -c '^./tables/' "$work/msi-a.list") tables and streams, the" \
    "summary information, $(grep -c '^./files/' "$work/msi-a.list") installed files"
  # The file as a whole too: libmsi lays the compound file out from the content alone. (Should a
  # tool's update change that, a difference here with the content the same is its layout: a
  # string left in the pool, a sector's order.)
  same "$1 as a whole" "$2" "$3" && echo "same bytes: $1 as a whole"
  return 0
}

compare_preset() {
  local preset=$1 first=$2 second=$3 file
  for file in $(files_of "$preset"); do
    same "$preset: $file" "$first/$file" "$second/$file" && echo "same bytes: $preset: $file"
  done
  if [ "$preset" != default ]; then
    same_msi "$preset: ordex-$version.msi" "$first/ordex-$version.msi" \
      "$second/ordex-$version.msi"
  fi
  return 0
}

mingw_prefix_of() {
  case $1 in
    windows) echo i686-w64-mingw32 ;;
    windows-x64) echo x86_64-w64-mingw32 ;;
  esac
}

if [ -n "$self_check" ]; then
  echo "== self-check: a second build with the time of day put into the program must differ"
  first_build default "$logs/reproducible-self-check.log"
  copy_source "$work/planted"
  plant "$work/planted"
  build "$work/planted" default "$logs/reproducible-self-check.log" SOURCE_DATE_EPOCH="$commit_time"
  compare_preset default build/default "$work/planted/build/default"
  [ "$differences" -gt 0 ] || fail "a build with __TIME__ put in compared the same"
  echo "== self-check passed: the planted change was found"
  exit 0
fi

for preset in "${presets[@]}"; do
  log=$logs/reproducible-$preset.log
  rm -f "$log"
  echo "== $preset: the test command's build against a second from another folder (output: $log)"
  mingw_prefix=$(mingw_prefix_of "$preset")
  first_build "$preset" "$log"
  copy_source "$work/$preset"
  started=$SECONDS
  build "$work/$preset" "$preset" "$log" SOURCE_DATE_EPOCH="$commit_time"
  echo "second build in $work/$preset/build/$preset, $((SECONDS - started)) s"
  compare_preset "$preset" "build/$preset" "$work/$preset/build/$preset"
  rm -rf "${work:?}/$preset"
done
[ "$differences" -eq 0 ] || fail "$differences difference(s) between two builds of the same source"
echo "== reproducible: every file of the ${#presets[@]} build(s) the same"
