#!/usr/bin/env bash
# Signs Windows files in place with osslsigncode (Authenticode, SHA-256): DLLs and installer
# packages alike. KEY and CERT are PEM files; CERT may hold the chain after the signing certificate.
#
#   tools/sign.sh KEY CERT FILE...
set -euo pipefail

[[ $# -ge 3 ]] || { echo "usage: tools/sign.sh KEY CERT FILE..." >&2; exit 2; }
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
