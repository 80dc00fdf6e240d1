#!/usr/bin/env bash
# The release bundle for integrators: both DLLs, their assembly manifests, the type library, its
# description, the clients' header and GUID definitions, README.txt and SHA256SUMS, in
# OUT/vesk-VERSION-windows/, and a zip of that folder beside it. Both DLLs are checked first (their
# machine type, exports, imports and version record), also where no 32-bit program can run.
#
#   tools/make-bundle.sh VERSION BUILD32 BUILD64 OUT
#
# BUILD32 and BUILD64 are the windows and windows64 build trees; the header, the GUID definitions
# and README.txt come from BUILD64, the type library from BUILD32. The build runs this (target
# vesk_bundle); `make dist` builds that target.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[[ $# -eq 4 ]] || { echo "usage: tools/make-bundle.sh VERSION BUILD32 BUILD64 OUT" >&2; exit 2; }
version="$1"; build32="$2"; build64="$3"; out="$4"
name="vesk-$version-windows"
exports=(DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer DllInstall
         DllSetPerUserRegistration)

fail() { echo "bundle: $*" >&2; exit 1; }

# The DLL of BUILD is BITS-bit, shows the server's exports and imports, and carries VERSION.0.
check_dll() {
    local bits="$1" dll="$2" triple="$3"
    [[ -f "$dll" ]] || fail "$dll is missing: build the $bits-bit library first"
    [[ "$("$checkout/tools/pe-bits" "$dll")" == "$bits" ]] || fail "$dll is not a $bits-bit library"
    bash "$checkout/tools/check-dll.sh" "$triple-objdump" "$dll" "${exports[@]}" >/dev/null ||
        fail "$dll shows the wrong exports or imports (tools/check-dll.sh says why)"
    local record numbers
    record="$("$triple-windres" -i "$dll" -O rc)"
    numbers="$(echo "$version" | awk -F. '{print $1 ", " $2 ", " $3 ", 0"}')"
    grep -q "^ FILEVERSION $numbers\$" <<<"$record" && grep -q "\"FileVersion\", \"$version.0\"" <<<"$record" ||
        fail "$dll does not carry version $version.0 in its version record"
}
check_dll 32 "$build32/Vesk.dll" i686-w64-mingw32
check_dll 64 "$build64/Vesk.dll" x86_64-w64-mingw32

mkdir -p "$out"
out="$(cd "$out" && pwd)"
bundle="$out/$name"
rm -rf "$bundle" "$bundle.zip"
mkdir -p "$bundle/x86" "$bundle/x64" "$bundle/include"
for bitness in "x86 $build32" "x64 $build64"; do
    set -- $bitness
    cp "$2/Vesk.dll" "$2/Vesk.Enabler.manifest" "$bundle/$1/"
done
cp "$build32/VeskLib.tlb" "$checkout/resources/VeskLib.idl" "$build64/README.txt" "$bundle/"
cp "$build64/include/VeskLib.h" "$build64/include/VeskLib_i.c" "$bundle/include/"
(cd "$bundle" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
# Zipped with the build's own CMake, so that no zip program is needed; every entry dated alike.
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "--mtime=2000-01-01 00:00:00Z" "$name")
echo "bundle: $bundle"
(cd "$bundle" && find . -type f -printf '  %-28P %8s bytes\n' | LC_ALL=C sort)
echo "bundle: $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"
