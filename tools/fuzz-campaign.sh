#!/usr/bin/env bash
# A long fuzzing campaign of one fuzz target, then the line coverage of the system code over the
# corpus it grew. Crashing inputs are left in build/fuzz/ as <target>-crash-*; a fixed one belongs
# in the target's seed corpus under tests/fuzz, so that every later run replays it.
#   tools/fuzz-campaign.sh [--target registry_script|dispatch] [EXECUTIONS] [WORKERS]
#   (default: the registry-script target, 10000000 executions, 1 worker)
set -euo pipefail
target=registry_script
if [[ "${1:-}" == "--target" ]]; then
  target="${2:?--target needs a name}"
  shift 2
fi
runs="${1:-10000000}"
workers="${2:-1}"
cd "$(dirname "$0")/.."

# Each target: its seed corpus, the longest input it is given, and the system code it drives.
case "$target" in
  registry_script) seeds=tests/fuzz/corpus; max_len=4096; covered=(src/registrar); fast=() ;;
  dispatch) seeds=tests/fuzz/dispatch-corpus; max_len=2048
            # Every input starts and ends threads of the simulated pool, so the heap's counts never
            # match and libFuzzer would run a leak scan after each one. The target counts what an
            # input may leave behind itself, and the sanitizer's leak scan still ends every segment.
            # Short allocation stacks halve the cost of the sanitizer's bookkeeping.
            fast=(-detect_leaks=0)
            export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}malloc_context_size=1"
            # Headers are compiled through the layers' include roots, so they are named there.
            covered=(src/automation src/com src/enabler src/server/class_object_lookup.cpp
                     build/fuzz-coverage/layers/server/automation/dispatch_impl.h
                     build/fuzz-coverage/layers/server/com/object_wrappers.h) ;;
  *) echo "fuzz-campaign: no target '$target' (registry_script or dispatch)" >&2; exit 2 ;;
esac
fuzzer="${target}_fuzzer"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$fuzzer"
corpus="build/fuzz/${target}-campaign-corpus"
mkdir -p "$corpus"

# Each worker runs its share in segments of at most half a million executions, each a fresh process
# with its own seed: the sanitizer keeps about 220 bytes for every thread a process has seen, and the
# dispatch target's notifications start threads enough for that to reach libFuzzer's memory limit
# within a few million executions. The workers exchange new inputs through the shared corpus.
segment=500000
# Each worker keeps to one core: the dispatch target starts and ends threads all the time, and a
# process whose threads run on several cores pays for every unmapping on all of them (twice the
# time per execution on the 2-core machine).
cores=$(nproc)
run_worker() {
  local w=$1 left=$(( runs / workers )) round=0
  : >"build/fuzz/${target}-campaign-$w.log"
  while (( left > 0 )); do
    local now=$(( left < segment ? left : segment ))
    taskset -c $(( w % cores )) "build/fuzz/$fuzzer" -runs=$now -max_len="$max_len" -seed=$(( w + 1 + 1000 * round )) \
        -reload=10 "${fast[@]}" -print_final_stats=1 -artifact_prefix="build/fuzz/${target}-" \
        "$corpus" "$seeds" >>"build/fuzz/${target}-campaign-$w.log" 2>&1 || return 1
    left=$(( left - now ))
    round=$(( round + 1 ))
  done
}
rm -f build/fuzz/"${target}"-campaign-*.log
start=$(date +%s)
pids=()
for ((w = 0; w < workers; ++w)); do
  run_worker "$w" &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
elapsed=$(( $(date +%s) - start ))
for ((w = 0; w < workers; ++w)); do
  grep -E "DONE|ERROR|SUMMARY" "build/fuzz/${target}-campaign-$w.log" | tail -3 || true
done
executed=$(cat build/fuzz/"${target}"-campaign-*.log | awk '/stat::number_of_executed_units/ {n += $2} END {print n + 0}')
peak=$(cat build/fuzz/"${target}"-campaign-*.log | awk '/stat::peak_rss_mb/ {if ($2 > p) p = $2} END {print p + 0}')
echo "campaign: $target, $executed of $runs executions, $workers worker(s), ${elapsed} s, peak rss ${peak} MB, corpus $(ls "$corpus" | wc -l) inputs"
[ "$status" -eq 0 ] || { echo "campaign: a worker stopped on a finding; see build/fuzz/${target}-campaign-*.log"; exit 1; }

# Coverage: replay the corpus once through a build that records source coverage.
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage --target "$fuzzer"
rm -f "build/fuzz-coverage/${target}.profraw"
LLVM_PROFILE_FILE="build/fuzz-coverage/${target}.profraw" \
  "build/fuzz-coverage/$fuzzer" -runs=0 -max_len="$max_len" "$corpus" "$seeds" >/dev/null 2>&1
llvm-profdata merge -sparse "build/fuzz-coverage/${target}.profraw" -o "build/fuzz-coverage/${target}.profdata"
llvm-cov report "build/fuzz-coverage/$fuzzer" -instr-profile="build/fuzz-coverage/${target}.profdata" "${covered[@]}"
