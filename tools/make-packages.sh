#!/usr/bin/env bash
# The Windows Installer packages of a release, built with wixl from resources/VeskPackage.wxs and the
# bundle's WiX fragments (tools/wix-fragment), around the bundle's DLLs:
#
#   vesk-VERSION-x64.msi, vesk-VERSION-x86.msi            per machine (Program Files, HKLM)
#   vesk-VERSION-x64-user.msi, vesk-VERSION-x86-user.msi  per user, no administrator (local
#                                                         application data, HKCU)
#
#   tools/make-packages.sh VERSION BUNDLE_DIR OUT_DIR [KIND...]
#
# KIND is x64, x86, x64-user or x86-user; all four when none is named. Each kind has an upgrade code
# of its own that never changes, and each release a product code derived from it and the version,
# so that a newer package of a kind replaces an older one and a rebuilt release is the same product.
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

for kind in "${kinds[@]}"; do
    [[ -n "${upgrade_code[$kind]:-}" ]] || { echo "packages: no package kind $kind" >&2; exit 2; }
    arch="${kind%-user}"
    if [[ "$kind" == *-user ]]; then scope=user root=HKCU; else scope=machine root=HKLM; fi
    product_code="$(python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
        "${upgrade_code[$kind]}" "$version")"
    package="$out/vesk-$version-$kind.msi"
    rm -f "$package"
    # wixl finds the DLL relative to the working directory; its own diagnostics of attributes it
    # does not know go to the log, which is shown when it fails.
    if ! (cd "$bundle" && wixl --arch "$arch" -D Version="$version" -D Arch="$arch" -D Scope="$scope" \
            -D ProductCode="$product_code" -D UpgradeCode="${upgrade_code[$kind]}" -D VeskRegistryRoot="$root" \
            -D VeskDllSource="$arch/Vesk.dll" -o "$package" "$checkout/resources/VeskPackage.wxs" \
            "wix/VeskEnabler-$arch.wxs") >"$out/wixl-$kind.log" 2>&1 || [[ ! -s "$package" ]]; then
        cat "$out/wixl-$kind.log" >&2
        echo "packages: wixl could not build $package" >&2
        exit 1
    fi
    rm -f "$out/wixl-$kind.log"
done
