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
  registry_script) seeds=tests/fuzz/corpus; max_len=4096; covered=(src/registrar) ;;
  dispatch) seeds=tests/fuzz/dispatch-corpus; max_len=2048
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

# Each worker runs its share; they exchange new inputs through the shared corpus directory.
start=$(date +%s)
pids=()
for ((w = 0; w < workers; ++w)); do
  "build/fuzz/$fuzzer" -runs=$((runs / workers)) -max_len="$max_len" -seed=$((w + 1)) \
      -reload=10 -print_final_stats=1 -artifact_prefix="build/fuzz/${target}-" \
      "$corpus" "$seeds" >"build/fuzz/${target}-campaign-$w.log" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
elapsed=$(( $(date +%s) - start ))
for ((w = 0; w < workers; ++w)); do
  grep -E "stat::number_of_executed_units|DONE|ERROR|SUMMARY" "build/fuzz/${target}-campaign-$w.log" || true
done
echo "campaign: $target, $runs executions requested, $workers worker(s), ${elapsed} s, corpus $(ls "$corpus" | wc -l) inputs"
[ "$status" -eq 0 ] || { echo "campaign: a worker stopped on a finding; see build/fuzz/${target}-campaign-*.log"; exit 1; }

# Coverage: replay the corpus once through a build that records source coverage.
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage --target "$fuzzer"
rm -f "build/fuzz-coverage/${target}.profraw"
LLVM_PROFILE_FILE="build/fuzz-coverage/${target}.profraw" \
  "build/fuzz-coverage/$fuzzer" -runs=0 -max_len="$max_len" "$corpus" "$seeds" >/dev/null 2>&1
llvm-profdata merge -sparse "build/fuzz-coverage/${target}.profraw" -o "build/fuzz-coverage/${target}.profdata"
llvm-cov report "build/fuzz-coverage/$fuzzer" -instr-profile="build/fuzz-coverage/${target}.profdata" "${covered[@]}"
