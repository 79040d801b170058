#!/usr/bin/env bash
# Signs a Windows program or installer in place with an Authenticode
# signature (osslsigncode), when a code-signing certificate is given:
#
#   CORVELLE_SIGN_CERT            the certificate, PEM, with its chain if any
#   CORVELLE_SIGN_KEY             its private key, PEM
#   CORVELLE_SIGN_PASSWORD_FILE   a file holding the key's passphrase, if it has one
#   CORVELLE_SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server; without one, or
#                                 when it cannot be reached, the signature
#                                 carries no time stamp
#
# Without a certificate and key the file is left as it is.
# Usage: sign.sh FILE
set -euo pipefail
file="$1"
cert="${CORVELLE_SIGN_CERT:-}"
key="${CORVELLE_SIGN_KEY:-}"
[[ -z "$cert" && -z "$key" ]] && exit 0
for given in "$cert" "$key" ${CORVELLE_SIGN_PASSWORD_FILE:+"$CORVELLE_SIGN_PASSWORD_FILE"}; do
  [[ -r "$given" ]] || { echo "sign.sh: cannot read '$given'" >&2; exit 1; }
done

options=(sign -certs "$cert" -key "$key" -h sha256 -n Corvelle)
[[ -n "${CORVELLE_SIGN_PASSWORD_FILE:-}" ]] && options+=(-readpass "$CORVELLE_SIGN_PASSWORD_FILE")
# An installer's signature covers its metadata (dates, names) as well.
[[ "$file" == *.msi ]] && options+=(-add-msi-dse)
signed="$file.signing"
rm -f "$signed"
url="${CORVELLE_SIGN_TIMESTAMP_URL:-}"
if [[ -n "$url" ]] && osslsigncode "${options[@]}" -ts "$url" -in "$file" -out "$signed" >/dev/null; then
  echo "sign.sh: signed $file, time stamp from $url"
else
  [[ -n "$url" ]] && echo "sign.sh: $url not reached; signing $file without a time stamp" >&2
  rm -f "$signed"
  osslsigncode "${options[@]}" -in "$file" -out "$signed" >/dev/null
  echo "sign.sh: signed $file"
fi
mv -f "$signed" "$file"
