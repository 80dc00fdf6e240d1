#!/usr/bin/env bash
# The Windows Installer packages of a release, built with wixl from resources/VeskPackage.wxs and the
# bundle's WiX fragments (tools/wix-fragment), around the bundle's DLLs, licence and notices:
#
#   vesk-VERSION-x64.msi        64-bit Windows, per machine: both DLLs (Program Files of each
#                               bitness, HKLM rows in each registry view)
#   vesk-VERSION-x86.msi        32-bit Windows, per machine: the 32-bit DLL
#   vesk-VERSION-x64-user.msi   64-bit Windows, per user, no administrator: both DLLs (the user's
#   vesk-VERSION-x86-user.msi   local application data, HKCU rows); 32-bit Windows, per user
#
#   tools/make-packages.sh VERSION BUNDLE_DIR OUT_DIR [KIND...]
#
# KIND is x64, x86, x64-user or x86-user; all four when none is named. Each kind has an upgrade code
# of its own that never changes, and each release a product code derived from it and the version,
# so that a newer package of a kind replaces an older one and a rebuilt release is the same product.
#
# wixl 0.101 falls short of WiX in two places, which are made up here so that the packages hold
# what WiX would write from the same fragments: it ignores RegistryKey's ForceCreateOnInstall and
# ForceDeleteOnUninstall (and writes no row), so it is given those keys as the rows WiX writes for
# them (a value named "+" or "*"); and it leaves the File table's Version and Language empty, which
# are set afterwards from each DLL's version record.
#
# The same bundle gives the same packages, byte for byte: wixl and msibuild run at one fixed time (the
# date the zip gives its entries), the files go into the cabinet with that date too, and the package
# code, which wixl draws at random, is derived from the package's content.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[[ $# -ge 3 ]] || { echo "usage: tools/make-packages.sh VERSION BUNDLE_DIR OUT_DIR [KIND...]" >&2; exit 2; }
version="$1"; bundle="$(cd "$2" && pwd)"; mkdir -p "$3"; out="$(cd "$3" && pwd)"; shift 3
kinds=("$@")
[[ ${#kinds[@]} -gt 0 ]] || kinds=(x64 x86 x64-user x86-user)
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "packages: $version is not MAJOR.MINOR.PATCH" >&2; exit 2; }

declare -A upgrade_code=(
    [x64]=C6B33313-311C-43BE-958E-045BDDC54AEE
    [x86]=1B11C2B6-6F17-4654-9EE4-1A8661838CD0
    [x64-user]=48C05A2B-685C-496D-9E34-26277A92E841
    [x86-user]=B9042C78-CBBE-4418-9D19-DFE4F3CE7C2A
)
declare -A triple=([x64]=x86_64-w64-mingw32 [x86]=i686-w64-mingw32)

fail() { echo "packages: $*" >&2; exit 1; }
at_fixed_time() { TZ=UTC faketime "2000-01-01 00:00:00" "$@"; }

# The fragments as wixl reads them: each RegistryKey as the row WiX writes for it.
work="$(mktemp -d "$out/.packages.XXXXXX")"
trap 'rm -rf "$work"' EXIT
for arch in x64 x86; do
    sed -E -e 's|<RegistryKey (.*) ForceCreateOnInstall="yes" ForceDeleteOnUninstall="yes"/>|<RegistryValue \1 Name="*" Type="string" Value=""/>|' \
           -e 's|<RegistryKey (.*) ForceCreateOnInstall="yes"/>|<RegistryValue \1 Name="+" Type="string" Value=""/>|' \
        "$bundle/wix/VeskEnabler-$arch.wxs" >"$work/VeskEnabler-$arch.wxs"
    ! grep -q '<RegistryKey' "$work/VeskEnabler-$arch.wxs" || fail "wix/VeskEnabler-$arch.wxs holds a RegistryKey wixl cannot build"
done
# The files as the cabinet takes them: dated alike.
cp -R "$bundle" "$work/payload"
find "$work/payload" -exec touch -h -d "2000-01-01 00:00:00Z" {} +

# The File table's Version and Language of the DLL of ARCH in PACKAGE, from its version record.
set_file_version() {
    local package="$1" arch="$2" record file_version language
    record="$("${triple[$arch]}-windres" -i "$bundle/$arch/Vesk.dll" -O rc)"
    file_version="$(sed -n 's/^ FILEVERSION \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\1.\2.\3.\4/p' <<<"$record")"
    language="$(sed -n 's/^ *VALUE "Translation", \(0x[0-9a-fA-F]*\), .*/\1/p' <<<"$record" | head -1)"
    [[ -n "$language" ]] || fail "$arch/Vesk.dll has no version record"
    # windres leaves out a version of zeros.
    file_version="${file_version:-0.0.0.0}"
    at_fixed_time msibuild "$package" -q "UPDATE \`File\` SET \`Version\` = '$file_version', \`Language\` = '$((language))' WHERE \`File\` = 'VeskDll_$arch'"
}

for kind in "${kinds[@]}"; do
    [[ -n "${upgrade_code[$kind]:-}" ]] || { echo "packages: no package kind $kind" >&2; exit 2; }
    arch="${kind%-user}"
    suffix="${kind#"$arch"}"
    if [[ -n "$suffix" ]]; then scope=user root=HKCU; else scope=machine root=HKLM; fi
    archs=(x86)
    [[ "$arch" == x86 ]] || archs=(x64 x86)
    product_code="$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
        "${upgrade_code[$kind]}" "$version")"
    package="$out/vesk-$version-$kind.msi"
    rm -f "$package"
    fragments=() sources=()
    for a in "${archs[@]}"; do
        fragments+=("$work/VeskEnabler-$a.wxs")
        sources+=(-D "VeskDllSource_$a=$a/Vesk.dll")
    done
    # wixl finds the files relative to the working directory; its own diagnostics of attributes it
    # does not know go to the log, which is shown when it fails.
    if ! (cd "$work/payload" && at_fixed_time wixl --arch "$arch" -D Version="$version" -D Arch="$arch" -D Scope="$scope" \
            -D ProductCode="$product_code" -D UpgradeCode="${upgrade_code[$kind]}" \
            -D X86UpgradeCode="${upgrade_code[x86$suffix]}" -D OtherPackage="vesk-$version-x64$suffix.msi" \
            -D VeskRegistryRoot="$root" "${sources[@]}" -o "$package" "$checkout/resources/VeskPackage.wxs" \
            "${fragments[@]}") >"$work/wixl-$kind.log" 2>&1 || [[ ! -s "$package" ]]; then
        cat "$work/wixl-$kind.log" >&2
        fail "wixl could not build $package"
    fi
    for a in "${archs[@]}"; do set_file_version "$package" "$a"; done
    # The package code from the package with a code of zeros: the same content, the same code.
    summary="$(msiinfo suminfo "$package")"
    field() { sed -n "s/^$1: //p" <<<"$summary"; }
    at_fixed_time msibuild "$package" -s "$(field Subject)" "$(field Author)" "$(field Template)" \
        "{00000000-0000-0000-0000-000000000000}"
    package_code="$(python3 -c 'import hashlib, sys, uuid
print("{%s}" % str(uuid.UUID(bytes=hashlib.sha256(open(sys.argv[1], "rb").read()).digest()[:16], version=4)).upper())' "$package")"
    at_fixed_time msibuild "$package" -s "$(field Subject)" "$(field Author)" "$(field Template)" "$package_code"
done
