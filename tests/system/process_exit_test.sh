#!/usr/bin/env bash
# A closing browser never crashes in Vesk: runs vesk_process_exit_host RUNS times in each way it ends
# its process (and its baseline without Vesk), with Wine's exception trace on. Every run must print
# that it reached its end, exit with status 0, and raise no exception: Wine swallows an access
# violation in a library's entry point at process exit, so the status alone proves nothing. The way
# `faulting` is the positive control, a library that faults so: its every run must show the exception.
#
#   process_exit_test.sh HOST DLL RUNS [WAY...]
set -uo pipefail

readonly checkout="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
[[ $# -ge 3 ]] || { echo "usage: process_exit_test.sh HOST DLL RUNS [WAY...]" >&2; exit 2; }
host=$1
dll="Z:$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
runs=$3
shift 3
ways=("$@")
[[ ${#ways[@]} -gt 0 ]] || ways=(held released firing freed baseline)
# Runs at a time: each mostly waits for its moment, so more than the cores.
readonly parallel=6

# Wine's exception trace also logs every setjmp (libraries of Wine's own call it, in 32-bit
# processes, while they load images) and every read of a thread's registers (seen at a 32-bit exit):
# a jump buffer recorded and registers read, no exception. The positive control proves the rest shows.
exceptions() { grep ':seh:' "$1" | grep -vE ':seh:([A-Za-z_]*setjmp[0-9]*|NtGetContextThread) '; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

run_one() {
    local way=$1 seed=$2 out="$work/$1.$2"
    # Wine's traces come with the program's output, in one stream.
    WINEDEBUG=+seh "$checkout/tools/wine-run" "$host" "$dll" "$way" "$seed" >"$out.out" 2>&1
    echo $? >"$out.status"
}

for way in "${ways[@]}"; do
    for ((seed = 1; seed <= runs; seed++)); do
        run_one "$way" "$seed" &
        while [[ $(jobs -rp | wc -l) -ge $parallel ]]; do wait -n; done
    done
done
wait

failed=0
for way in "${ways[@]}"; do
    clean=0
    for ((seed = 1; seed <= runs; seed++)); do
        out="$work/$way.$seed"
        status=$(cat "$out.status")
        problem=""
        grep -q "^exit host: $way, seed $seed: ending the process" "$out.out" || problem="it did not reach its end"
        [[ $status -eq 0 ]] || problem="${problem:+$problem; }exit status $status"
        raised=$(exceptions "$out.out")
        if [[ $way == faulting ]]; then
            [[ -n $raised ]] || problem="${problem:+$problem; }its library's fault did not show in the trace"
        elif [[ -n $raised ]]; then
            problem="${problem:+$problem; }an exception was raised: ${raised%%$'\n'*}"
        fi
        if [[ -z $problem ]]; then
            clean=$((clean + 1))
        else
            failed=1
            echo "process exit: $way, seed $seed: $problem"
            grep -v ':seh:' "$out.out" | sed 's/^/    | /' | tail -4
            [[ -z $raised ]] || head -6 <<<"$raised" | sed 's/^/    ! /'
        fi
    done
    echo "process exit: $way: $clean of $runs runs ended as they must"
done
exit $failed
