#!/usr/bin/env bash
# Signs Windows files in place with osslsigncode (Authenticode, SHA-256): DLLs and installer
# packages alike. KEY and CERT are PEM files; CERT may hold the chain after the signing certificate.
#
#   tools/sign.sh KEY CERT FILE...
#   tools/sign.sh --statement OUT [CERT]
#
# --statement writes the release's statement of whether it is signed, one line, into OUT: signed by
# the subject of CERT (with its SHA-256 fingerprint), or, without CERT, not signed at all. The
# bundle carries it (SIGNING.txt, and the release's entry in its CHANGELOG.md).
set -euo pipefail

usage() { echo "usage: tools/sign.sh KEY CERT FILE... | --statement OUT [CERT]" >&2; exit 2; }
if [[ "${1:-}" == --statement ]]; then
    [[ $# -eq 2 || $# -eq 3 ]] || usage
    if [[ $# -eq 2 ]]; then
        echo "Not signed: this build's DLLs and installer packages carry no Authenticode signature." >"$2"
    else
        subject="$(openssl x509 -in "$3" -noout -subject -nameopt RFC2253 | sed 's/^subject=//')"
        fingerprint="$(openssl x509 -in "$3" -noout -fingerprint -sha256 | sed 's/^.*=//')"
        [[ -n "$subject" && -n "$fingerprint" ]] || { echo "sign: $3 is no certificate" >&2; exit 1; }
        echo "Signed: both DLLs and the installer packages carry an Authenticode signature (SHA-256) by $subject, certificate SHA-256 fingerprint $fingerprint." >"$2"
    fi
    exit 0
fi
[[ $# -ge 3 ]] || usage
key="$1"; cert="$2"; shift 2
for file in "$key" "$cert"; do
    [[ -f "$file" ]] || { echo "sign: $file is missing" >&2; exit 1; }
done
for file in "$@"; do
    signed="$file.signed"
    rm -f "$signed"
    if ! osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n Vesk -in "$file" -out "$signed" \
            >"$signed.log" 2>&1; then
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        echo "sign: osslsigncode could not sign $file" >&2
        exit 1
    fi
    rm -f "$signed.log"
    mv -f "$signed" "$file"
done
