#!/usr/bin/env bash
# Proves the signing of the Windows build: makes a throw-away certificate authority and a
# code-signing certificate with openssl, builds a signed ordex.exe and package with them (preset
# "windows" in a build folder of its own) and checks with osslsigncode against that authority
# that the exe, the custom actions' DLL, the package, and the exe and the DLL taken out of the
# package verify, and that a copy with one byte changed does not; that each carries the
# package's version; and that the signed files, their signatures removed, are the unsigned
# build's (build/windows), the package its content. Run by scripts/windows-test.sh; needs no
# Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/common.sh

echo "== signed build"
# Where the tools cannot be installed the signing is not proven: that is a failure, not a pass.
ensure_packages osslsigncode openssl msitools

readonly BUILD=build/windows-signed
work=$(mktemp -d "${TMPDIR:-/tmp}/ordex-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A certificate authority of this test only, and a code-signing certificate it issued, in a
# PKCS#12 file with its key and chain, protected by a password read from a file.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ORDEX test authority" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
  -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/O=Tarvex Roboter GmbH/CN=Tarvex Roboter GmbH" \
  -keyout "$work/signer.key" -out "$work/signer.csr" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
  >"$work/signer.ext"
openssl x509 -req -in "$work/signer.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -days 2 -extfile "$work/signer.ext" -out "$work/signer.pem" 2>/dev/null
echo "throw-away $RANDOM$RANDOM" >"$work/password"
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" -certfile "$work/ca.pem" \
  -passout "file:$work/password" -out "$work/signer.p12"

build_log=$PWD/build/logs/signing-build.log
mkdir -p "${build_log%/*}"
rm -f "$build_log"
echo "building with a throw-away certificate (build output: $build_log)"
# No timestamp: CI has no timestamp server.
run_logged "$build_log" cmake --preset windows -B "$BUILD" -DORDEX_BUILD_TESTS=OFF \
  -DORDEX_SIGNING_CERT="$work/signer.p12" -DORDEX_SIGNING_PASSWORD_FILE="$work/password" \
  -DORDEX_TIMESTAMP_URL=
run_logged "$build_log" cmake --build "$BUILD" --target ordex_msi -j 2
version=$(build_version "$BUILD")
msi=$BUILD/ordex-$version.msi

verifies() { osslsigncode verify -CAfile "$work/ca.pem" -in "$1" >"$work/verify.txt" 2>&1; }
expect_signed() {
  verifies "$1" || fail "$1 does not verify: $(cat "$work/verify.txt")"
  grep -q 'Message digest algorithm *: SHA256' "$work/verify.txt" ||
    fail "$1 is not signed with SHA-256: $(cat "$work/verify.txt")"
  echo "signed and verified: $1"
}
# A copy of FILE with the byte at OFFSET changed must not verify.
expect_broken_by_one_byte() {
  local copy=$work/changed-${1##*/} byte
  cp "$1" "$copy"
  byte=$(od -An -tu1 -j "$2" -N1 "$copy" | tr -d ' ')
  printf "\\$(printf '%03o' $((byte ^ 0xff)))" | dd of="$copy" bs=1 seek="$2" conv=notrunc status=none
  cmp -s "$1" "$copy" && fail "no byte of the copy of $1 was changed"
  verifies "$copy" && fail "$1 with the byte at $2 changed still verifies"
  echo "one byte changed at $2: no longer verifies"
}

expect_signed "$BUILD/ordex.exe"
expect_signed "$BUILD/ordex_setup.dll"
expect_signed "$msi"
msiextract -C "$work/extracted" "$msi" >/dev/null
packed=$(find "$work/extracted" -name ordex.exe)
cmp -s "$packed" "$BUILD/ordex.exe" || fail "the package does not carry the signed ordex.exe"
expect_signed "$packed"
# The custom actions are a stream of the Binary table, not a file of the cabinet; Windows
# Installer loads them as LocalSystem.
msiinfo extract "$msi" Binary.OrdexSetup >"$work/ordex_setup.dll"
cmp -s "$work/ordex_setup.dll" "$BUILD/ordex_setup.dll" ||
  fail "the package does not carry the signed ordex_setup.dll"
expect_signed "$work/ordex_setup.dll"

# In the exe, a byte in the middle of the program's code; in the package, one of its product
# name in the string pool, a stream that every package signature covers.
expect_broken_by_one_byte "$BUILD/ordex.exe" $(($(stat -c %s "$BUILD/ordex.exe") / 2))
offset=$(grep -obaF 'ORDEX controller information' "$msi" | head -n 1 | cut -d: -f1)
[ -n "$offset" ] || fail "no product description in $msi"
expect_broken_by_one_byte "$msi" "$offset"
# Every PE file of the package carries the package's version in its version resource.
for file in "$BUILD/ordex.exe" "$work/ordex_setup.dll"; do
  [ "$(file_version "$file")" = "$version" ] ||
    fail "$file has not the version $version in its version resource"
done
echo "ordex.exe and ordex_setup.dll: version $version, the package's"

# A signed release is the unsigned build of its commit once its signatures are removed: the
# signed files byte for byte; the package by its content, where exactly what follows from the
# signed files it carries differs (their bytes and sizes, and the codes derived from them).
echo "== the signed build, its signatures removed, against the unsigned build (build/windows)"
unsigned=build/windows
[ -f "$unsigned/CMakeCache.txt" ] || run_logged "$build_log" cmake --preset windows
run_logged "$build_log" cmake --build "$unsigned" --target ordex_msi -j 2
unsign() { osslsigncode remove-signature -in "$1" -out "$2" >/dev/null; }
for file in ordex.exe ordex_setup.dll; do
  unsign "$BUILD/$file" "$work/unsigned-$file"
  cmp "$work/unsigned-$file" "$unsigned/$file" ||
    fail "$file of the signed build, its signature removed, is not the unsigned build's"
  echo "same bytes once unsigned: $file"
done
unsign "$msi" "$work/unsigned.msi"
# package_content MSI FOLDER: its tables and streams, the PE files among them and among the
# files it installs unsigned, and what follows from their signatures left out: the PE files'
# sizes (File table) and hashes (MsiFileHash), the package code (the summary's 9, and so the
# summary's stream) and the cabinet (compared by the files it holds).
package_content() {
  local file msi
  mkdir -p "$2/files"
  # (msidump writes the binary columns' files into the folder it runs in.)
  msi=$(realpath "$1")
  (cd "$2" && msidump -t -s -d . "$msi" >/dev/null)
  msiextract -C "$2/files" "$1" >/dev/null
  rm -f "$2/_Streams/ordex.cab" "$2"/_Streams/*SummaryInformation
  sed -i '/^9\t/d' "$2/_SummaryInformation.idt"
  awk -F'\t' -v OFS='\t' 'NR > 3 && $3 ~ /\.(exe|dll)$/ { $4 = "(size)" } 1' "$2/File.idt" \
    >"$2/File.idt.new"
  mv "$2/File.idt.new" "$2/File.idt"
  awk -F'\t' -v OFS='\t' 'NR > 3 && $1 ~ /\.(exe|dll)$/ { $3 = $4 = $5 = $6 = "(hash)" } 1' \
    "$2/MsiFileHash.idt" >"$2/MsiFileHash.idt.new"
  mv "$2/MsiFileHash.idt.new" "$2/MsiFileHash.idt"
  find "$2" -type f \( -iname '*.exe' -o -iname '*.dll' -o -name 'Binary.*' \) |
    while read -r file; do
      if osslsigncode remove-signature -in "$file" -out "$file.unsigned" >/dev/null 2>&1; then
        mv "$file.unsigned" "$file"
      fi
    done
}
package_content "$work/unsigned.msi" "$work/signed-content"
package_content "$unsigned/ordex-$version.msi" "$work/unsigned-content"
diff -r "$work/signed-content" "$work/unsigned-content" >"$work/package.diff" ||
  fail "the signed package, its signatures removed, holds more than the unsigned one:" \
    "$(head -n 20 "$work/package.diff")"
echo "same content once unsigned: the package's tables, streams and installed files; differing" \
  "only by what follows from the signed files: their sizes and hashes in the File and MsiFileHash" \
  "tables, the package code and the cabinet that holds them"
echo "== signing tests passed"
