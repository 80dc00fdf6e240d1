#!/usr/bin/env bash
# The release for integrators, in OUT:
#   vesk-VERSION-windows/ and its zip: both DLLs with their symbol files (Vesk.pdb, which each DLL
#     names in its CodeView record) and assembly manifests, the type library, its description, the
#     clients' header and GUID definitions, the CMake package (lib/cmake/Vesk), the samples, the WiX
#     fragments that install each DLL with its registration rows (tools/wix-fragment), README.txt
#     (the integrator's guide), LICENSE,
#     THIRD-PARTY-NOTICES.txt and its SPDX document (from both DLLs' link maps), CHANGELOG.md,
#     SIGNING.txt (whether the build is signed, which the release's CHANGELOG entry says too) and
#     SHA256SUMS;
#   the four installer packages vesk-VERSION-{x64,x86}[-user].msi (tools/make-packages.sh);
#   symbols/, both DLLs and their PDBs in a symbol server's layout (tools/symbol-store);
#   SHA256SUMS of every artifact: the packages, the zip, the bundle's files and the symbols.
# Both DLLs are checked first (tools/check-dll: machine type, exports, imports, header, version
# record, and the PDB beside each), also where no 32-bit program can run. With a signing key and
# certificate (PEM files), both DLLs and the four packages are signed; without them they are left
# unsigned, and it says so. Last it prints the SHA-256 of each artifact: two clean builds of one
# commit give the same.
#
#   tools/make-bundle.sh [--sign-key KEY --sign-cert CERT] VERSION BUILD32 BUILD64 NATIVE OUT
#
# BUILD32 and BUILD64 are the windows and windows64 build trees; the header, the GUID definitions
# and README.txt come from BUILD64, the type library from BUILD32. NATIVE is the native build tree,
# whose vesk_registration_rows gives the rows the server's registration writes. The build runs this
# (target vesk_bundle); `make dist` builds that target, passing VESK_SIGN_KEY and VESK_SIGN_CERT.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage() {
    echo "usage: tools/make-bundle.sh [--sign-key KEY --sign-cert CERT] VERSION BUILD32 BUILD64 NATIVE OUT" >&2
    exit 2
}
sign_key="" sign_cert=""
while [[ $# -gt 0 && "$1" == --sign-* ]]; do
    [[ $# -ge 2 ]] || usage
    case "$1" in
        --sign-key) sign_key="$2" ;;
        --sign-cert) sign_cert="$2" ;;
        *) usage ;;
    esac
    shift 2
done
[[ $# -eq 5 ]] || usage
[[ -n "$sign_key" && -n "$sign_cert" || -z "$sign_key$sign_cert" ]] ||
    { echo "bundle: signing needs both a key and a certificate" >&2; exit 2; }
version="$1"; build32="$2"; build64="$3"; native="$4"; out="$5"
name="vesk-$version-windows"

fail() { echo "bundle: $*" >&2; exit 1; }

for bitness in "32 $build32" "64 $build64"; do
    set -- $bitness
    [[ -f "$2/Vesk.dll" ]] || fail "$2/Vesk.dll is missing: build the $1-bit library first"
    [[ "$("$checkout/tools/pe-bits" "$2/Vesk.dll")" == "$1" ]] || fail "$2/Vesk.dll is not a $1-bit library"
done
"$checkout/tools/check-dll" --version "$version" --pdb --map "$build32/Vesk.dll" "$build64/Vesk.dll" >/dev/null ||
    fail "a Vesk.dll is not what the release ships (tools/check-dll says why above)"

mkdir -p "$out"
out="$(cd "$out" && pwd)"
bundle="$out/$name"
packages=(x64 x86 x64-user x86-user)
rm -rf "$bundle" "$bundle.zip" "$out/SHA256SUMS" "$out/symbols"
for kind in "${packages[@]}"; do rm -f "$out/vesk-$version-$kind.msi"; done
mkdir -p "$bundle/x86" "$bundle/x64" "$bundle/include" "$bundle/wix" "$bundle/samples/cpp" "$bundle/samples/jscript" \
    "$bundle/lib/cmake/Vesk"
# The rows of the registry script as the server's own registration writes them.
rows_file="$bundle/wix/registration-rows.txt"
"$native/vesk_registration_rows" >"$rows_file" || fail "$native/vesk_registration_rows could not register the server"
for bitness in "x86 $build32 32" "x64 $build64 64"; do
    set -- $bitness
    cp "$2/Vesk.dll" "$2/Vesk.pdb" "$2/Vesk.Enabler.manifest" "$bundle/$1/"
    python3 "$checkout/tools/wix-fragment" --bits "$3" --rows "$rows_file" \
        --typelib "$2/VeskLib.tlb" --output "$bundle/wix/VeskEnabler-$1.wxs" --listing "$bundle/wix/rows-$1.txt"
done
rm "$rows_file"
# What each DLL links statically, from its link map; the run fails for a library it has no notice of.
python3 "$checkout/tools/third-party-notices" --version "$version" --ours "$build32/shipped" --ours "$build64/shipped" \
    --notices "$bundle/THIRD-PARTY-NOTICES.txt" --spdx "$bundle/THIRD-PARTY-NOTICES.spdx.json" \
    "x86=$build32/Vesk.map:i686-w64-mingw32" "x64=$build64/Vesk.map:x86_64-w64-mingw32"
cp "$build32/VeskLib.tlb" "$checkout/resources/VeskLib.idl" "$checkout/LICENSE" "$bundle/"
cp "$build64/include/VeskLib.h" "$build64/include/VeskLib_i.c" "$bundle/include/"
for sample in cpp/CMakeLists.txt cpp/toolbar_host.cpp cpp/toolbar_host.exe.manifest.in cpp/mingw-x64.cmake \
    cpp/mingw-x86.cmake jscript/toolbar.js; do
    cp "$checkout/samples/$sample" "$bundle/samples/$sample"
done
# The CMake package, which finds the bundle from its own place in it.
cp "$checkout/resources/cmake/VeskConfig.cmake" "$bundle/lib/cmake/Vesk/"
sed -e "s/@VESK_VERSION@/$version/" -e "s/@VESK_VERSION_MAJOR@/${version%%.*}/" \
    "$checkout/resources/cmake/VeskConfigVersion.cmake.in" >"$bundle/lib/cmake/Vesk/VeskConfigVersion.cmake"
# The guide shows the registry rows (the 64-bit DLL's) and the samples as they are shipped: each
# line <<insert: FILE>> becomes that file of the bundle, indented.
awk -v bundle="$bundle" '
    /^<<insert: .*>>$/ {
        file = substr($0, 11, length($0) - 12)
        if (file == "registry rows") { file = "wix/rows-x64.txt"; indent = "" } else indent = "    "
        while ((getline line < (bundle "/" file)) > 0) print (line == "" ? "" : indent line)
        close(bundle "/" file)
        next
    }
    {print}' "$build64/README.txt" >"$bundle/README.txt"
rm "$bundle/wix/rows-x86.txt" "$bundle/wix/rows-x64.txt"
! grep -n '<<insert' "$bundle/README.txt" || { echo "bundle: README.txt keeps a line to insert" >&2; exit 1; }

if [[ -n "$sign_key" ]]; then
    bash "$checkout/tools/sign.sh" "$sign_key" "$sign_cert" "$bundle/x86/Vesk.dll" "$bundle/x64/Vesk.dll"
fi
bash "$checkout/tools/make-packages.sh" "$version" "$bundle" "$out" "${packages[@]}"
package_files=()
for kind in "${packages[@]}"; do package_files+=("$out/vesk-$version-$kind.msi"); done
if [[ -n "$sign_key" ]]; then
    bash "$checkout/tools/sign.sh" "$sign_key" "$sign_cert" "${package_files[@]}"
    bash "$checkout/tools/sign.sh" --statement "$bundle/SIGNING.txt" "$sign_cert"
    echo "bundle: signed both DLLs and the four packages with $sign_cert"
else
    bash "$checkout/tools/sign.sh" --statement "$bundle/SIGNING.txt"
    echo "bundle: NOT SIGNED: both DLLs and the four packages are left unsigned (no VESK_SIGN_KEY and VESK_SIGN_CERT)"
fi
# The release's entry in the CHANGELOG ends with the same statement.
awk -v heading="## $version" -v statement="- $(cat "$bundle/SIGNING.txt")" '
    $0 == heading {inside = 1; found = 1; print; next}
    inside && /^$/ {blank++; next}
    inside && /^## / {print statement; inside = 0}
    {for (; blank; blank--) print ""; print}
    END {if (inside) print statement; if (!found) exit 1}' "$checkout/CHANGELOG.md" >"$bundle/CHANGELOG.md" ||
    fail "CHANGELOG.md has no entry ## $version"

"$checkout/tools/symbol-store" "$out/symbols" "$bundle/x86/Vesk.dll" "$bundle/x64/Vesk.dll" >/dev/null

(cd "$bundle" && find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
# Zipped by Python's zipfile, so that no zip program is needed and the bytes repeat: the entries in
# the order of their names (not the order the file system lists them in), each dated 2000-01-01 and
# with no extra field (CMake's zip writes each file's access and change times).
(cd "$out" && python3 - "$name" <<'PYTHON'
import os, sys, zipfile
name = sys.argv[1]
files = sorted(os.path.join(root, f) for root, _, names in os.walk(name) for f in names)
with zipfile.ZipFile(name + ".zip", "w", zipfile.ZIP_DEFLATED) as archive:
    for path in files:
        entry = zipfile.ZipInfo(path, (2000, 1, 1, 0, 0, 0))
        entry.external_attr = (0o100644 | (os.stat(path).st_mode & 0o111)) << 16  # a regular file
        entry.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as data:
            archive.writestr(entry, data.read())
PYTHON
)
(cd "$out" && { find "$name" symbols -type f; ls "$name.zip" vesk-$version-*.msi; } | LC_ALL=C sort |
    xargs sha256sum >SHA256SUMS)
echo "bundle: $bundle"
(cd "$bundle" && find . -type f -printf '  %-28P %8s bytes\n' | LC_ALL=C sort)
echo "bundle: $out/$name.zip ($(stat -c %s "$out/$name.zip") bytes)"
for package in "${package_files[@]}"; do
    rows="$(msiinfo export "$package" Registry | tail -n +4 | wc -l)"
    echo "bundle: $package ($(stat -c %s "$package") bytes, $rows registry rows)"
done
echo "bundle: $out/symbols, the symbol server's layout:"
(cd "$out/symbols" && find . -type f -printf '  %P\n' | LC_ALL=C sort)
echo "bundle: SHA-256 of each artifact:"
(cd "$out" && sha256sum "$name/x86/Vesk.dll" "$name/x86/Vesk.pdb" "$name/x64/Vesk.dll" "$name/x64/Vesk.pdb" \
    "$name/VeskLib.tlb" "$name.zip" "${package_files[@]#$out/}" | sed 's/^/  /')
