#!/usr/bin/env bash
# The release bundle as an integrator gets it: unpacked from its zip, every file it promises there
# with its recorded checksum; a client compiled against its include/ and the SDK alone; the C++
# sample configured and built by the guide's own command, through the bundle's CMake package (which
# answers find_package for its major version up to its own); and the client and both samples run
# under Wine with the bundle's DLL of their bitness, first without registration (the bundle's
# assembly beside the program, its own application manifest depending on it; then, without that
# manifest, through an activation context the program makes from the bundle's assembly manifest;
# the JScript sample fails, saying so), then registered by regsvr32, and unregistered again.
# Registered, the client has the platform's debug helper name Vesk.dll's functions from the
# Vesk.pdb beside it (bundle_client.cpp).
#
#   tests/bundle/run-client.sh BITS ZIP WORK_DIR PREFIX CLIENT_MANIFEST
#   tests/bundle/run-client.sh BITS ZIP WORK_DIR --build-only
#
# --build-only stops once the client and the sample are built: so the 32-bit ones are built also
# where no 32-bit program runs. PREFIX is the Wine prefix of the tests, which must hold no key of the server's.
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
VeskLib.idl VeskLib.tlb include/VeskLib.h include/VeskLib_i.c lib/cmake/Vesk/VeskConfig.cmake \
lib/cmake/Vesk/VeskConfigVersion.cmake samples/cpp/CMakeLists.txt samples/cpp/mingw-x64.cmake \
samples/cpp/mingw-x86.cmake samples/cpp/toolbar_host.cpp samples/cpp/toolbar_host.exe.manifest.in \
samples/jscript/toolbar.js wix/VeskEnabler-x64.wxs wix/VeskEnabler-x86.wxs \
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
    "$checkout/tests/bundle/bundle_client.cpp" "$work/build/VeskLib_i.o" -o "$client" \
    -static -static-libgcc -static-libstdc++ -lole32 -loleaut32 -luuid -lcomctl32 -ldbghelp
echo "bundle: the $bits-bit client compiled against the bundle's include/ and the SDK alone"
# The C++ sample, by the guide's command for this bitness, run in the bundle's folder; nothing in its
# build names the release's own folder, so the package found the bundle from where it lies.
build_sample="$(grep -m1 "^ *cmake -S samples/cpp .*mingw-$folder.cmake" "$bundle/README.txt")"
(cd "$bundle" && eval "$build_sample") >"$work/sample-build.log" 2>&1 || { cat "$work/sample-build.log"; exit 1; }
sample="$bundle/build-$folder/toolbar_host.exe"
! grep -rqs "$(cd "$(dirname "$zip")" && pwd)" "$bundle/build-$folder" || { echo "bundle: FAIL: the sample's build names the release folder" >&2; exit 1; }
echo "bundle: the $bits-bit C++ sample built from the bundle alone by the guide's command:$build_sample"
# The package answers the requests of its major version up to its own version, and no others.
IFS=. read -r major minor patch <<<"$(basename "$bundle" | cut -d- -f2)"
accepted="$major $major.$minor $major.$minor.$patch"
refused="$major.$minor.$((patch + 1)) $major.$((minor + 1)) $((major + 1)).0 $((major - 1)).9"
mkdir -p "$work/versions"
cat >"$work/versions/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(versions LANGUAGES C)
foreach(request $accepted $refused)
  find_package(Vesk \${request} CONFIG QUIET HINTS "$bundle")
  message(STATUS "found \${request}: \${Vesk_FOUND}")
endforeach()
EOF
found="$(cmake -S "$work/versions" -B "$work/versions/build" --toolchain "$bundle/samples/cpp/mingw-$folder.cmake" |
    sed -n 's/^-- found \(.*\): 1$/\1/p' | xargs)"
[[ "$found" == "$accepted" ]] || { echo "bundle: FAIL: find_package(Vesk) accepted '$found' of $accepted $refused" >&2; exit 1; }
echo "bundle: find_package(Vesk VERSION) accepts $accepted and refuses $refused"
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
fail() { echo "bundle: FAIL: $*" >&2; status=1; }
# The C++ sample as a user runs it, the way named: its trace (the debugger's output, which Wine's
# debugstr channel prints with times) shows the header widened to 32 px by the first EnableVesk,
# once the toolbar is visible, and the first message 3037 answered with MakeSure; then it is closed
# as a window is (taskkill without /f) and ends with 0.
run_sample() {
    local log="$work/sample-$1.log" started=$SECONDS pid exit=0 narrow expected=""
    WINEDEBUG=-all,warn+debugstr,+timestamp run "$2" >"$log" 2>&1 &
    pid=$!
    until grep -qs "message 3037" "$log" || ((SECONDS - started > 30)); do sleep 0.2; done
    run taskkill /im toolbar_host.exe >/dev/null 2>&1 || true
    for ((i = 0; i < 50; i++)); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -0 "$pid" 2>/dev/null && { run taskkill /f /im toolbar_host.exe >/dev/null 2>&1; fail "the sample did not close"; }
    wait "$pid" || exit=$?
    sed -n 's/^\([0-9.]*\):.*OutputDebugStringA "Vesk sample: \(.*\)\\n"$/\1 \2/p' "$log" >"$log.lines"
    narrow="$(sed -n "s/.*the toolbar is visible, the band's header is \([0-9]*\) px$/\1/p" "$log.lines")"
    [[ "$1" == activation-context ]] && expected="the enabler comes from Vesk.Enabler.manifest beside this program"$'\n'
    expected+="the toolbar is visible, the band's header is $narrow px
EnableVesk answered 0x00000000
the toolbar was told, the band's header is 32 px
message 3037, MakeSure answered 0x00000000"
    if [[ $exit == 0 && -n "$narrow" && "$narrow" -lt 32 &&
          "$(cut -d' ' -f2- "$log.lines" | head -n "$(wc -l <<<"$expected")")" == "$expected" ]]; then
        awk -v way="$1" -v narrow="$narrow" '/toolbar is visible/ {shown = $1} /header is 32 px/ {wide = $1}
            /message 3037/ && !recheck {recheck = $1}
            END {printf "bundle: the C++ sample, %s: the header %s -> 32 px %d ms after the toolbar was shown, before the first 3037 (%d ms); closed, exit 0\n", way, narrow, (wide - shown) * 1000, (recheck - shown) * 1000}' "$log.lines"
    else
        cat "$log.lines" >&2; fail "the C++ sample, $1 (exit $exit)"
    fi
}
source "$checkout/tests/bundle/scripts.sh"

# Registration-free, as the bundle's README tells: the DLL and its manifest beside the program.
free="$work/registration-free"
mkdir -p "$free"
cp "$client" "$bundle/$folder/Vesk.dll" "$bundle/$folder/Vesk.Enabler.manifest" "$free/"
cp "$manifest" "$free/bundle_client.exe.manifest"
echo "bundle: registration-free, from $free"
status=0
run "$free/bundle_client.exe" registration-free "Z:$bundle/VeskLib.tlb" || status=1
run_sample application-manifest "$sample"

# As a toolbar in a browser whose manifest it does not control: an activation context of its own.
echo "bundle: registration-free, through an activation context made from the bundle's assembly manifest"
run "$client" activation-context "Z:$bundle/VeskLib.tlb" "Z:$bundle/$folder/Vesk.Enabler.manifest" || status=1
mkdir -p "$work/sample-context" "$work/sample-registered"
cp "$sample" "$bundle/$folder/Vesk.dll" "$bundle/$folder/Vesk.Enabler.manifest" "$work/sample-context/"
run_sample activation-context "$work/sample-context/toolbar_host.exe"
js_status=0
js_sample || js_status=$?
[[ $js_status == 1 ]] && grep -q "^Vesk.VeskEnabler cannot be created (0x" "$work/sample.log" &&
    echo "bundle: the JScript sample, unregistered, exits 1 saying: $(tr -d '\r' <"$work/sample.log")" ||
    fail "the JScript sample, unregistered, exited $js_status: $(cat "$work/sample.log")"

dll="Z:$bundle/$folder/Vesk.dll"
echo "bundle: registered: regsvr32 /s $dll"
trap 'run regsvr32 /u /s "$dll" >/dev/null 2>&1 || true' EXIT
run regsvr32 /s "$dll" || { echo "bundle: regsvr32 failed" >&2; exit 1; }
run "$client" registered "Z:$bundle/VeskLib.tlb" --symbols || status=1
cp "$sample" "$work/sample-registered/"
run_sample registered "$work/sample-registered/toolbar_host.exe"
use_from_scripts
run regsvr32 /u /s "$dll" || { echo "bundle: regsvr32 /u failed" >&2; status=1; }
trap - EXIT
exit "$status"
