#!/usr/bin/env bash
# Runs the toolbar host of a windows build under Wine and shows its trace.
#
#   tools/demo.sh BUILD_DIR        (for instance build/windows)
#
# Exits non-zero when the host is missing or reports a failed scenario.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[[ $# -eq 1 ]] || { echo "usage: tools/demo.sh BUILD_DIR" >&2; exit 2; }
build_dir="$(cd "$1" && pwd)"
host="$build_dir/tests/system/vesk_toolbar_host.exe"
[[ -f "$host" ]] || { echo "demo: $host is missing; build the windows preset first" >&2; exit 1; }

exec "$checkout/tools/wine-run" --prefix "$build_dir/wine-prefix" "$host"
