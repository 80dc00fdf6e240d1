#!/usr/bin/env bash
# Runs the Wine timings of the real Vesk.dll in a prefix of their own (not the tests' one):
#   tools/wine-bench.sh BUILD_DIR [ROUNDS] [COLD_RUNS] [WARM_REPEATS]
# registration round trips against the direct floor, then COLD_RUNS fresh processes each timing the
# first use, then one process timing WARM_REPEATS uses; the server is unregistered at the end.
set -euo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:?usage: wine-bench.sh BUILD_DIR [ROUNDS] [COLD_RUNS] [WARM_REPEATS]}"
rounds="${2:-200}"
cold_runs="${3:-5}"
warm_repeats="${4:-20}"
bench="$build/vesk_wine_bench.exe"
run() { "$checkout/tools/wine-run" --prefix "$build/bench-prefix" "$bench" "$@"; }

run rounds "$rounds"
run register
# Unregistered whatever happens below, so that nothing of the server stays in the prefix.
trap 'run unregister' EXIT
for ((i = 0; i < cold_runs; ++i)); do
    run cold
done
run warm "$warm_repeats"
