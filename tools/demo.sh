#!/usr/bin/env bash
# The demo: in a Wine prefix of its own, registers a windows build's Vesk.dll with the regsvr32 of
# its own bitness, runs the demo host against the registered library and shows its trace, then
# unregisters it. Then it takes two pictures: the demo host draws its toolbar's window through
# Wine's X11 driver on a virtual X server (Xvfb), before and after EnableVesk widens the band header.
#
#   tools/demo.sh [--headless] BUILD_DIR   (build/windows for the 32-bit library, build/windows64 for the 64-bit one)
#
# The pictures show two bands of a real comctl32 rebar with their grippers, the lower one holding
# the toolbar, and a label saying which picture it is; they are saved at twice their size.
#
# Exits non-zero when a program is missing, registration fails, the host reports a failed scenario,
# or the two pictures are the same or do not show the toolbar moved right by the header's growth.
# --headless leaves the pictures out. The prefixes (BUILD_DIR/demo-prefix, headless, and
# BUILD_DIR/demo-x11-prefix, for the pictures) are made on the first run.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
usage() { echo "usage: tools/demo.sh [--headless] BUILD_DIR" >&2; exit 2; }
headless=false
if [[ "${1:-}" == --headless ]]; then headless=true; shift; fi
[[ $# -eq 1 ]] || usage
build_dir="$(cd "$1" && pwd)"
dll="$build_dir/Vesk.dll"
host="$build_dir/tests/system/vesk_demo_host.exe"
for file in "$dll" "$host" "$build_dir/Vesk.Enabler.manifest"; do
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
$headless && exit "$status"

# --- the pictures ---------------------------------------------------------------------------------
readonly x11_prefix="$build_dir/demo-x11-prefix"
readonly toolbar_colour="#2B579A"   # the demo host paints its toolbar so
readonly convert=/usr/bin/convert   # ImageMagick's own, whatever else PATH holds
for tool in Xvfb xwininfo import compare "$convert"; do
    command -v "$tool" >/dev/null || { echo "demo: $tool is missing; tools/setup.sh installs it" >&2; exit 1; }
done
work="$build_dir/demo-pictures"
rm -rf "$work"
mkdir -p "$work"
before="$build_dir/demo-before.png"
after="$build_dir/demo-after.png"
rm -f "$before" "$after"

xvfb="" host_run="" trace=""
end_pictures() {
    # Wine's programs first: they hold connections to the X server.
    "$checkout/tools/wine-run" --prefix "$x11_prefix" --end-server
    for pid in $host_run $trace $xvfb; do kill "$pid" 2>/dev/null || true; done
}
trap end_pictures EXIT

# Xvfb picks a free display and writes its number once it accepts clients.
exec {from_xvfb}< <(Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp 2>"$work/xvfb.log" & echo "$!")
read -r xvfb <&"$from_xvfb"
read -r -t 30 display <&"$from_xvfb" || { echo "demo: Xvfb did not start (see $work/xvfb.log)" >&2; exit 1; }
echo
echo "demo: pictures: Xvfb on display :$display, Wine's X11 driver in $x11_prefix"

log="$work/host.log"
"$checkout/tools/wine-run" --prefix "$x11_prefix" --bits "$bits" --display ":$display" "$host" --pictures \
    "Z:$build_dir/Vesk.Enabler.manifest" "Z:$work" >"$log" 2>&1 &
host_run=$!
tail -s 0.1 -n +1 -f --pid="$host_run" "$log" &
trace=$!
# At each "picture" line of the host: the frame's window, captured from the X server.
declare -A header
for name in before after; do
    until grep -q "^picture $name:" "$log"; do
        kill -0 "$host_run" 2>/dev/null || { wait "$host_run" || true; echo "demo: the host ended before its $name picture" >&2; exit 1; }
        sleep 0.1
    done
    header[$name]="$(sed -n "s/^picture $name: band header \([0-9]*\) px.*/\1/p" "$log")"
    window="$(xwininfo -display ":$display" -root -tree | awk '/"Vesk test frame"/ {print $1; exit}')"
    [[ -n "$window" ]] || { echo "demo: the host's window is not on the display" >&2; exit 1; }
    picture="$build_dir/demo-$name.png"
    import -display ":$display" -window "$window" "$picture"
    touch "$work/$name.taken"
done
wait "$host_run" || status=1
wait "$trace" || true
host_run="" trace=""

# The pictures differ, and in them the toolbar moved right by exactly the header's growth.
differing="$(compare -metric AE "$before" "$after" null: 2>&1)" || true
toolbar_left() { "$convert" "$1" -alpha off -fill black +opaque "$toolbar_colour" -format '%@' info: | sed 's/.*+\([0-9]*\)+[0-9]*$/\1/'; }
shift_seen=$(( $(toolbar_left "$after") - $(toolbar_left "$before") ))
growth=$(( ${header[after]} - ${header[before]} ))
echo
echo "demo: $before  (band header ${header[before]} px)"
echo "demo: $after  (band header ${header[after]} px)"
echo "demo: the pictures differ in $differing pixels; in them the toolbar moved right by $shift_seen px, the header grew by $growth px"
if ! [[ "$differing" =~ ^[0-9]+$ ]] || (( differing == 0 )); then
    echo "demo: FAIL: the two pictures are the same" >&2
    status=1
fi
if (( shift_seen != growth || growth <= 0 )); then
    echo "demo: FAIL: the toolbar did not move right by the header's growth in the pictures" >&2
    status=1
fi
# Shown at twice their size, each pixel a square of four, so that the gripper and the header's
# edges stay sharp.
for picture in "$before" "$after"; do "$convert" "$picture" -scale 200% "$picture"; done
exit "$status"
