#!/usr/bin/env bash
# The demo: in a Wine prefix of its own, registers a windows build's Vesk.dll with the regsvr32 of
# its own bitness, runs the demo host against the registered library and shows its trace, then
# unregisters it.
#
#   tools/demo.sh BUILD_DIR        (build/windows for the 32-bit library, build/windows64 for the 64-bit one)
#
# Exits non-zero when a program is missing, registration fails, or the host reports a failed
# scenario. The prefix (BUILD_DIR/demo-prefix) is made on the first run.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[[ $# -eq 1 ]] || { echo "usage: tools/demo.sh BUILD_DIR" >&2; exit 2; }
build_dir="$(cd "$1" && pwd)"
dll="$build_dir/Vesk.dll"
host="$build_dir/tests/system/vesk_demo_host.exe"
for file in "$dll" "$host"; do
    [[ -f "$file" ]] || { echo "demo: $file is missing; build the windows preset first" >&2; exit 1; }
done
bits="$("$checkout/tools/pe-bits" "$dll")"

run() { "$checkout/tools/wine-run" --prefix "$build_dir/demo-prefix" --bits "$bits" "$@"; }

echo "demo: the $bits-bit Vesk.dll, under $([[ $bits == 64 ]] && echo "64-bit Wine (wine64)" || echo "32-bit Wine")"
echo "demo: regsvr32 /s $dll"
run regsvr32 /s "Z:$dll" || { echo "demo: regsvr32 failed to register Vesk.dll" >&2; exit 1; }
status=0
run "$host" || status=$?
echo
echo "demo: regsvr32 /u /s $dll"
run regsvr32 /u /s "Z:$dll" || { echo "demo: regsvr32 /u failed to unregister Vesk.dll" >&2; status=1; }
exit "$status"
