#!/usr/bin/env bash
# Signs a Windows program or installer in place with an Authenticode
# signature (osslsigncode), when a code-signing certificate is given:
#
#   CORVELLE_SIGN_CERT            the certificate, PEM, with its chain if any
#   CORVELLE_SIGN_KEY             its private key, PEM
#   CORVELLE_SIGN_PASSWORD_FILE   a file holding the key's passphrase, if it has one
#   CORVELLE_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server
#
# from the environment, or from SETTINGS, a file of NAME=value lines (the
# build's signing.txt, which only its owner can read). With a time-stamp
# server the signature carries its time stamp, or signing fails; without one
# it carries none, and a warning says that it stops verifying when the
# certificate expires. Without a certificate and key the file is left as it
# is. Messages name the variables, never their values.
# Usage: sign.sh FILE [SETTINGS]
set -euo pipefail
file="$1"
if [[ -n "${2:-}" ]]; then
  while IFS= read -r line || [[ -n "$line" ]]; do
    case "${line%%=*}" in
      CORVELLE_SIGN_CERT | CORVELLE_SIGN_KEY | CORVELLE_SIGN_PASSWORD_FILE | CORVELLE_SIGN_TIMESTAMP_URL)
        export "${line%%=*}=${line#*=}" ;;
    esac
  done <"$2"
fi
cert="${CORVELLE_SIGN_CERT:-}"
key="${CORVELLE_SIGN_KEY:-}"
passfile="${CORVELLE_SIGN_PASSWORD_FILE:-}"
url="${CORVELLE_SIGN_TIMESTAMP_URL:-}"
[[ -z "$cert" && -z "$key" ]] && exit 0

fail() {
  echo "sign.sh: $(basename "$file") not signed: $1" >&2
  exit 1
}
for name in CORVELLE_SIGN_CERT CORVELLE_SIGN_KEY CORVELLE_SIGN_PASSWORD_FILE; do
  [[ -z "${!name:-}" && "$name" == CORVELLE_SIGN_PASSWORD_FILE ]] && continue
  [[ -r "${!name:-}" ]] || fail "$name does not name a file that can be read"
done

options=(sign -certs "$cert" -key "$key" -h sha256 -n Corvelle)
[[ -n "$passfile" ]] && options+=(-readpass "$passfile")
# An installer's signature covers its metadata (dates, names) as well.
[[ "$file" == *.msi ]] && options+=(-add-msi-dse)
[[ -n "$url" ]] && options+=(-ts "$url")
signed="$file.signing"
rm -f "$signed"
if ! output=$(osslsigncode "${options[@]}" -in "$file" -out "$signed" </dev/null 2>&1); then
  rm -f "$signed"
  # What osslsigncode said, with each value put back as its variable's name,
  # and without OpenSSL's stack of error codes.
  for name in CORVELLE_SIGN_TIMESTAMP_URL CORVELLE_SIGN_PASSWORD_FILE CORVELLE_SIGN_KEY \
    CORVELLE_SIGN_CERT; do
    [[ -n "${!name:-}" ]] && output="${output//"${!name}"/\$$name}"
  done
  said=$(grep -vE '^[0-9A-F]+:error:|^Enter PEM pass phrase:|^Failed$|^\s*$' <<<"$output" |
    sed 's/^/  osslsigncode: /' || true)
  if grep -qiE 'timestamp|time-stamp|HTTP failure' <<<"$output"; then
    reason="the time-stamp server (CORVELLE_SIGN_TIMESTAMP_URL) gave no time stamp"
  elif grep -qiE 'wrong password|bad decrypt|bad password' <<<"$output"; then
    reason="the key's passphrase (CORVELLE_SIGN_PASSWORD_FILE) is wrong or missing"
  elif grep -qiE 'certificate|consistency of a private key' <<<"$output"; then
    reason="the certificate (CORVELLE_SIGN_CERT) cannot be read or does not belong to the key (CORVELLE_SIGN_KEY)"
  else
    reason="osslsigncode failed"
  fi
  fail "$reason"$'\n'"$said"
fi
mv -f "$signed" "$file"
if [[ -n "$url" ]]; then
  echo "sign.sh: signed $(basename "$file") with a time stamp"
else
  echo "sign.sh: signed $(basename "$file")"
  echo "sign.sh: warning: no time-stamp server (CORVELLE_SIGN_TIMESTAMP_URL): the signature of" \
    "$(basename "$file") stops verifying when the certificate expires" >&2
fi
