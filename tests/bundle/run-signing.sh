#!/usr/bin/env bash
# The release signed as make dist signs it (tools/sign.sh), with a throwaway certificate authority
# and a code-signing certificate it issued (openssl): both DLLs of the bundle and one package of
# each scope are signed and verified by osslsigncode against that authority, and neither an
# unsigned file nor a signed one changed after signing passes. Then the platform's checks on the
# signed DLLs: tools/check-dll's checks, the file checks of the 64-bit test program for each (the
# version record, the embedded script and type library), and the signed 64-bit DLL registered by
# regsvr32, created by both ProgIDs from a script and called by name, and unregistered.
#
#   tests/bundle/run-signing.sh ZIP WORK_DIR PREFIX DLL_FILE_TESTS
#
# PREFIX is the Wine prefix of the 64-bit tests, which must hold no key of the server's;
# DLL_FILE_TESTS the 64-bit vesk_dll_file_tests program.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
[[ $# -eq 4 ]] || { echo "usage: run-signing.sh ZIP WORK_DIR PREFIX DLL_FILE_TESTS" >&2; exit 2; }
zip="$1"; work="$2"; prefix="$3"; file_tests="$4"
fail() { echo "signing: FAIL: $*" >&2; exit 1; }
name="$(basename "$zip" .zip)"
version="${name#vesk-}"; version="${version%-windows}"

rm -rf "$work"
mkdir -p "$work/keys" "$work/signed"
(cd "$work" && cmake -E tar xf "$zip")
bundle="$work/$name"

# The authority and the signer, valid for a day.
keys="$work/keys"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Vesk throwaway test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
    -keyout "$keys/ca.key" -out "$keys/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Vesk throwaway test signer" \
    -keyout "$keys/signer.key" -out "$keys/signer.csr" 2>/dev/null
openssl x509 -req -days 1 -in "$keys/signer.csr" -CA "$keys/ca.pem" -CAkey "$keys/ca.key" -CAcreateserial \
    -extfile <(printf '%s\n' basicConstraints=CA:FALSE keyUsage=critical,digitalSignature extendedKeyUsage=codeSigning) \
    -out "$keys/signer.pem" 2>/dev/null

files=()
for arch in x64 x86; do
    cp "$bundle/$arch/Vesk.dll" "$work/signed/Vesk-$arch.dll"
    files+=("$work/signed/Vesk-$arch.dll")
done
for kind in x64 x86-user; do
    cp "$(dirname "$zip")/vesk-$version-$kind.msi" "$work/signed/"
    files+=("$work/signed/vesk-$version-$kind.msi")
done
bash "$checkout/tools/sign.sh" "$keys/signer.key" "$keys/signer.pem" "${files[@]}"
bash "$checkout/tools/sign.sh" --statement "$work/SIGNING.txt" "$keys/signer.pem"
grep -q "^Signed: .*CN=Vesk throwaway test signer, certificate SHA-256 fingerprint $(openssl x509 -in "$keys/signer.pem" \
    -noout -fingerprint -sha256 | sed 's/^.*=//')\.$" "$work/SIGNING.txt" || fail "the statement: $(cat "$work/SIGNING.txt")"
grep -qxF -- "- $(cat "$bundle/SIGNING.txt")" "$bundle/CHANGELOG.md" || fail "the bundle's CHANGELOG.md does not say whether it is signed"
echo "signing: the statement names the signer and its certificate; the bundle's CHANGELOG.md carries the bundle's: $(cat "$bundle/SIGNING.txt")"

verify() { osslsigncode verify -CAfile "$keys/ca.pem" -in "$1" >"$work/verify.log" 2>&1; }
for file in "${files[@]}"; do
    if ! verify "$file" || ! grep -q 'Signature verification: ok' "$work/verify.log"; then
        cat "$work/verify.log"
        fail "$(basename "$file") does not verify"
    fi
    grep -q 'Subject: .*CN=Vesk throwaway test signer' "$work/verify.log" || fail "$(basename "$file"): another signer"
    echo "signing: $(basename "$file") signed by the throwaway signer, verified against its authority"
done
! verify "$bundle/x64/Vesk.dll" || fail "the unsigned Vesk.dll verified"
cp "$work/signed/Vesk-x64.dll" "$work/altered.dll"
# One byte of the code changed after signing.
code="$(x86_64-w64-mingw32-objdump -h "$work/altered.dll" | awk '$2 == ".text" {print $6}')"
printf '\xcc' | dd of="$work/altered.dll" bs=1 seek=$((16#$code + 16)) conv=notrunc status=none
! verify "$work/altered.dll" || fail "a signed Vesk.dll changed after signing verified"
echo "signing: an unsigned Vesk.dll and a signed one changed after signing do not verify"

run() { "$checkout/tools/wine-run" --prefix "$prefix" "$@"; }
source "$checkout/tests/bundle/scripts.sh"
for arch in "x64 64" "x86 32"; do
    set -- $arch
    dll="$work/signed/Vesk-$1.dll"
    "$checkout/tools/check-dll" --version "$version" "$dll" >/dev/null ||
        fail "the signed $1 Vesk.dll is not what the release ships (tools/check-dll says why above)"
    run "$file_tests" --library-bits="$2" "Z:$dll" >"$work/file-tests-$1.log" 2>&1 ||
        { cat "$work/file-tests-$1.log"; fail "the file checks of the signed $1 Vesk.dll failed"; }
    passed="$(grep -c '^\[       OK \]' "$work/file-tests-$1.log")"
    echo "signing: the signed $1 Vesk.dll: tools/check-dll and $passed file checks passed"
done

# The signed 64-bit DLL in use, under its own name.
mkdir -p "$work/in-use"
cp "$work/signed/Vesk-x64.dll" "$work/in-use/Vesk.dll"
dll="Z:$work/in-use/Vesk.dll"
trap 'run regsvr32 /u /s "$dll" >/dev/null 2>&1 || true' EXIT
run regsvr32 /s "$dll" || fail "regsvr32 could not register the signed Vesk.dll"
use_from_scripts
run regsvr32 /u /s "$dll" || fail "regsvr32 /u could not unregister the signed Vesk.dll"
trap - EXIT
echo "signing: the signed 64-bit Vesk.dll registered, created by both ProgIDs, called by name and unregistered"
