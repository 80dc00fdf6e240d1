#!/usr/bin/env bash
# The release bundle as an integrator gets it: unpacked from its zip, every file it promises there
# with its recorded checksum; a client compiled against its include/ and the SDK alone, with the
# bundle's C++ sample linked in; and that client run under Wine with the bundle's DLL of its
# bitness, first without registration (the bundle's assembly beside it, the client's own
# application manifest depending on it; then, without that manifest, through an activation
# context the client makes from the bundle's assembly manifest), then registered by regsvr32, and
# unregistered again. Registered, the client has the platform's debug helper name Vesk.dll's
# functions from the Vesk.pdb beside it (bundle_client.cpp).
#
#   tests/bundle/run-client.sh BITS ZIP WORK_DIR PREFIX CLIENT_MANIFEST
#   tests/bundle/run-client.sh BITS ZIP WORK_DIR --build-only
#
# --build-only stops once the client is built: so the 32-bit client is built also where no 32-bit
# program runs. PREFIX is the Wine prefix of the tests, which must hold no key of the server's.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
usage() { echo "usage: run-client.sh BITS ZIP WORK_DIR (PREFIX CLIENT_MANIFEST | --build-only)" >&2; exit 2; }
[[ $# -ge 4 ]] || usage
bits="$1"; zip="$2"; work="$3"
case "$bits" in
    64) triple=x86_64-w64-mingw32; folder=x64 ;;
    32) triple=i686-w64-mingw32; folder=x86 ;;
    *) usage ;;
esac
[[ -f "$zip" ]] || { echo "bundle: $zip is missing; make dist makes it" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/build"
(cd "$work" && cmake -E tar xf "$zip")
bundle="$work/$(basename "$zip" .zip)"
expected="CHANGELOG.md LICENSE README.txt SHA256SUMS SIGNING.txt THIRD-PARTY-NOTICES.spdx.json THIRD-PARTY-NOTICES.txt \
VeskLib.idl VeskLib.tlb include/VeskLib.h include/VeskLib_i.c \
samples/toolbar.cpp samples/toolbar.js wix/VeskEnabler-x64.wxs wix/VeskEnabler-x86.wxs \
x64/Vesk.Enabler.manifest x64/Vesk.dll x64/Vesk.pdb x86/Vesk.Enabler.manifest x86/Vesk.dll x86/Vesk.pdb"
found="$(cd "$bundle" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs)"
if [[ "$found" != "$expected" ]]; then
    printf 'bundle: the files differ\n  expected: %s\n  found:    %s\n' "$expected" "$found" >&2
    exit 1
fi
(cd "$bundle" && sha256sum --check --quiet SHA256SUMS)
echo "bundle: $(basename "$bundle"): every file there, each with its recorded checksum"
# The release's own checksums cover every artifact beside the zip: the packages, the zip, the bundle,
# the symbols.
version="${bundle##*/vesk-}"; version="${version%-windows}"
artifacts="$(cd "$(dirname "$zip")" && { ls vesk-$version-*.msi "$(basename "$zip")"; find "$(basename "$bundle")" symbols -type f; } |
    LC_ALL=C sort | xargs)"
[[ "$(awk '{print $2}' "$(dirname "$zip")/SHA256SUMS" | xargs)" == "$artifacts" ]] &&
    (cd "$(dirname "$zip")" && sha256sum --check --quiet SHA256SUMS) || { echo "bundle: FAIL: SHA256SUMS of the release" >&2; exit 1; }
echo "bundle: the release's SHA256SUMS: $(wc -w <<<"$artifacts") artifacts, each with its recorded checksum"

client="$work/build/bundle_client.exe"
"$triple-gcc-posix" -c -Wall -Wextra -Werror -I "$bundle/include" "$bundle/include/VeskLib_i.c" \
    -o "$work/build/VeskLib_i.o"
"$triple-g++-posix" -std=c++17 -O1 -Wall -Wextra -Werror -municode -I "$bundle/include" \
    "$checkout/tests/bundle/bundle_client.cpp" "$bundle/samples/toolbar.cpp" "$work/build/VeskLib_i.o" -o "$client" \
    -static -static-libgcc -static-libstdc++ -lole32 -loleaut32 -luuid -lcomctl32 -ldbghelp
echo "bundle: the $bits-bit client and the C++ sample compiled against the bundle's include/ and the SDK alone"
# The notices' derivation fails for a link that pulled in an archive no notice covers (libm.a here).
echo "/usr/lib/x86_64-linux-gnu/libm.a(e_exp.o)" >"$work/foreign.map"
if python3 "$checkout/tools/third-party-notices" --version 0 --ours "$work" --notices "$work/n.txt" --spdx "$work/n.json" \
        "x64=$work/foreign.map:$triple" 2>"$work/foreign.log" || ! grep -q "the notices name no component" "$work/foreign.log"; then
    echo "bundle: FAIL: the notices took a link with libm.a: $(cat "$work/foreign.log")" >&2; exit 1; fi
echo "bundle: the notices refuse a link with an archive they do not cover: $(cut -d: -f2- "$work/foreign.log" | cut -c1-80)..."

[[ "$4" == --build-only ]] && exit 0
[[ $# -eq 5 ]] || usage
prefix="$4"; manifest="$5"

run() { "$checkout/tools/wine-run" --prefix "$prefix" --bits "$bits" "$@"; }

# Registration-free, as the bundle's README tells: the DLL and its manifest beside the program.
free="$work/registration-free"
mkdir -p "$free"
cp "$client" "$bundle/$folder/Vesk.dll" "$bundle/$folder/Vesk.Enabler.manifest" "$free/"
cp "$manifest" "$free/bundle_client.exe.manifest"
echo "bundle: registration-free, from $free"
status=0
run "$free/bundle_client.exe" registration-free "Z:$bundle/VeskLib.tlb" || status=1

# As a toolbar in a browser whose manifest it does not control: an activation context of its own.
echo "bundle: registration-free, through an activation context made from the bundle's assembly manifest"
run "$client" activation-context "Z:$bundle/VeskLib.tlb" "Z:$bundle/$folder/Vesk.Enabler.manifest" || status=1

dll="Z:$bundle/$folder/Vesk.dll"
echo "bundle: registered: regsvr32 /s $dll"
trap 'run regsvr32 /u /s "$dll" >/dev/null 2>&1 || true' EXIT
run regsvr32 /s "$dll" || { echo "bundle: regsvr32 failed" >&2; exit 1; }
run "$client" registered "Z:$bundle/VeskLib.tlb" --symbols || status=1
run regsvr32 /u /s "$dll" || { echo "bundle: regsvr32 /u failed" >&2; status=1; }
trap - EXIT
exit "$status"
