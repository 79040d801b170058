#!/usr/bin/env bash
# Builds what ships a second time, from a copy of the sources in another
# folder, minutes later, with another umask, locale and time zone, reusing
# nothing of the first build; the .deb, the .zip, the .msi and the
# corvelle.exe inside them must be the same bytes as the package build's in
# PACKAGES, and diffoscope names whatever is not. Then signs that second
# Windows build, as the Windows workflow does, with a certificate from a
# throw-away certificate authority: both signatures must verify against that
# authority, and the signature must be all that signing changes.
# Usage: reproducible_test.sh PACKAGES SOURCE
set -uo pipefail
packages="$1"
source_dir="$2"
source "$source_dir/tests/package/check.sh"
work=$(mktemp -d /tmp/corvelle-second-build-XXXXXX)
trap 'rm -rf "$work"' EXIT

epoch=$(git -C "$source_dir" log -1 --format=%ct)
copy="$work/elsewhere/corvelle"
mkdir -p "$copy"
(cd "$source_dir" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$copy"

# The second build: only what ships, compiled under other settings, then
# packaged as the first was.
build() {
  (
    umask 0077
    export TZ=Pacific/Kiritimati LC_ALL=C.UTF-8 LANG=C.UTF-8 SOURCE_DATE_EPOCH="$epoch"
    cd "$copy"
    cmake --preset native -DCORVELLE_TESTS=OFF -DCORVELLE_E2E=OFF &&
      cmake --build --preset native && cmake --preset windows -DCORVELLE_TESTS=OFF &&
      cmake --build --preset windows &&
      bash tests/package/build_packages.sh "$work/second" build/native build/windows
  ) >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log"; return 1; }
}
check "a second build of the same commit elsewhere" build
second="$work/second"

same_bytes() {
  local name="$1" first="$2" again="$3"
  echo "        $(sha256sum "$first" | cut -c1-64)  first  $name"
  echo "        $(sha256sum "$again" | cut -c1-64)  second $name"
  cmp -s "$first" "$again" && return 0
  diffoscope --text - --max-report-size 20000 "$first" "$again" | head -n 60 | sed 's/^/        /'
  return 1
}
for pattern in 'corvelle_*_amd64.deb' 'corvelle-*-windows.zip' 'corvelle-*-windows.msi'; do
  first=$(ls "$packages"/$pattern 2>/dev/null | head -n 1)
  again=$(ls "$second"/$pattern 2>/dev/null | head -n 1)
  name=$(basename "${first:-$pattern}")
  check "$name is the same bytes from both builds" same_bytes "$name" "$first" "$again"
done
unzip -p "$packages"/corvelle-*-windows.zip corvelle.exe >"$work/first.exe"
unzip -p "$second"/corvelle-*-windows.zip corvelle.exe >"$work/second.exe"
check "corvelle.exe is the same bytes from both builds" \
  same_bytes corvelle.exe "$work/first.exe" "$work/second.exe"

# A throw-away certificate authority, and a code-signing certificate from it.
ca="$work/ca"
mkdir -p "$ca"
make_certificates() {
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca/ca.key" -out "$ca/ca.pem" -days 2 \
    -subj "/CN=Corvelle throw-away CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" &&
    openssl req -newkey rsa:2048 -nodes -keyout "$ca/signer.key" -out "$ca/signer.csr" \
      -subj "/CN=Corvelle throw-away signer" &&
    printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$ca/signer.ext" &&
    openssl x509 -req -in "$ca/signer.csr" -CA "$ca/ca.pem" -CAkey "$ca/ca.key" \
      -CAcreateserial -days 2 -extfile "$ca/signer.ext" -out "$ca/signer.pem"
} >"$work/openssl.log" 2>&1
check "a throw-away certificate authority and code-signing certificate" make_certificates

# The Windows workflow again, now with the certificate: the build signs anew.
signed_build() {
  (
    export SOURCE_DATE_EPOCH="$epoch" CORVELLE_SIGN_CERT="$ca/signer.pem"
    export CORVELLE_SIGN_KEY="$ca/signer.key"
    cd "$copy"
    cmake --preset windows -DCORVELLE_TESTS=OFF && cmake --build --preset windows &&
      bash tests/package/build_packages.sh "$work/signed" build/windows
  ) >"$work/signed.log" 2>&1 || { tail -n 40 "$work/signed.log"; return 1; }
}
check "the Windows workflow signs with the certificate given" signed_build
exe="$copy/build/windows/dist/corvelle.exe"
msi=$(ls "$work"/signed/corvelle-*-windows.msi)
verify() {
  local report
  report=$(osslsigncode verify -CAfile "$ca/ca.pem" -in "$1" 2>&1)
  sed 's/^/        /' <<<"$report"
  grep -q "^Signature verification: ok" <<<"$report"
}
check "corvelle.exe's signature verifies against the authority" verify "$exe"
check "the .msi's signature verifies against the authority" verify "$msi"
only_the_signature() {
  rm -f "$work/unsigned.exe"
  osslsigncode remove-signature -in "$exe" -out "$work/unsigned.exe" >/dev/null &&
    cmp "$work/unsigned.exe" "$work/first.exe"
}
check "without its signature the signed corvelle.exe is the unsigned one" only_the_signature
signed_inside() {
  mkdir -p "$work/msi" && (cd "$work/msi" && msiextract "$msi" >/dev/null) &&
    cmp "$(find "$work/msi" -name corvelle.exe)" "$exe" &&
    unzip -p "$work"/signed/corvelle-*-windows.zip corvelle.exe | cmp - "$exe"
}
check "the .msi and the .zip carry the signed corvelle.exe" signed_inside
summary
