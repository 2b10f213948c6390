#!/usr/bin/env bash
# Signs Windows programs and installers in place with osslsigncode (Authenticode, SHA-256), so
# that Windows names the publisher instead of "Unknown publisher", and SmartScreen can build a
# reputation for the certificate. The certificate comes from the environment:
#
#   TIKVOR_SIGN_PKCS12      a .pfx/.p12 file holding the certificate, its chain and the key
#   TIKVOR_SIGN_PASSWORD    its password (may be empty)
#   TIKVOR_SIGN_TIMESTAMP   an RFC 3161 time-stamping service's URL: the signature then stays
#                           valid after the certificate expires (leave it out offline)
#
# Without TIKVOR_SIGN_PKCS12 nothing is signed and a note says so; that is not an error.
# usage: tools/windows/sign.sh FILE...
set -euo pipefail
eval "$(cmake -P "$(dirname "${BASH_SOURCE[0]}")/../../cmake/TikvorFacts.cmake")"

if [ -z "${TIKVOR_SIGN_PKCS12:-}" ]; then
    echo "sign.sh: not signed (no TIKVOR_SIGN_PKCS12): $*" >&2
    exit 0
fi
[ -f "$TIKVOR_SIGN_PKCS12" ] || { echo "sign.sh: no such file: $TIKVOR_SIGN_PKCS12" >&2; exit 1; }
timestamp=()
if [ -n "${TIKVOR_SIGN_TIMESTAMP:-}" ]; then
    timestamp=(-ts "$TIKVOR_SIGN_TIMESTAMP")
else
    echo "sign.sh: no TIKVOR_SIGN_TIMESTAMP: the signatures end with the certificate" >&2
fi
for file in "$@"; do
    # osslsigncode writes a new file; the old one is replaced only by a whole signed one.
    osslsigncode sign -pkcs12 "$TIKVOR_SIGN_PKCS12" -pass "${TIKVOR_SIGN_PASSWORD:-}" \
        -h sha256 -n "$TIKVOR_PRODUCT" -i "$TIKVOR_URL" "${timestamp[@]}" \
        -in "$file" -out "$file.signed" >"$file.signlog" 2>&1 ||
        { cat "$file.signlog" >&2; rm -f "$file.signed" "$file.signlog"; exit 1; }
    mv "$file.signed" "$file"
    rm -f "$file.signlog"
done
