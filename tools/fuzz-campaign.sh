#!/usr/bin/env bash
# A long fuzzing campaign of the registry-script engine, then the line coverage of the system code
# over the corpus it grew. Crashing inputs are left in build/fuzz/ as crash-*; a fixed one belongs
# in tests/fuzz/corpus, so that every later run replays it.
#   tools/fuzz-campaign.sh [EXECUTIONS] [WORKERS]     (default 10000000 executions, 1 worker)
set -euo pipefail
runs="${1:-10000000}"
workers="${2:-1}"
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target registry_script_fuzzer
corpus=build/fuzz/campaign-corpus
mkdir -p "$corpus"

# Each worker runs its share; they exchange new inputs through the shared corpus directory.
start=$(date +%s)
pids=()
for ((w = 0; w < workers; ++w)); do
  build/fuzz/registry_script_fuzzer -runs=$((runs / workers)) -max_len=4096 -seed=$((w + 1)) \
      -reload=10 -print_final_stats=1 -artifact_prefix=build/fuzz/ \
      "$corpus" tests/fuzz/corpus >"build/fuzz/campaign-$w.log" 2>&1 &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
elapsed=$(( $(date +%s) - start ))
for ((w = 0; w < workers; ++w)); do
  grep -E "stat::number_of_executed_units|DONE|ERROR|SUMMARY" "build/fuzz/campaign-$w.log" || true
done
echo "campaign: $runs executions requested, $workers worker(s), ${elapsed} s, corpus $(ls "$corpus" | wc -l) inputs"
[ "$status" -eq 0 ] || { echo "campaign: a worker stopped on a finding; see build/fuzz/campaign-*.log"; exit 1; }

# Coverage: replay the corpus once through a build that records source coverage.
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage --target registry_script_fuzzer
rm -f build/fuzz-coverage/corpus.profraw
LLVM_PROFILE_FILE=build/fuzz-coverage/corpus.profraw \
  build/fuzz-coverage/registry_script_fuzzer -runs=0 -max_len=4096 "$corpus" tests/fuzz/corpus >/dev/null 2>&1
llvm-profdata merge -sparse build/fuzz-coverage/corpus.profraw -o build/fuzz-coverage/corpus.profdata
llvm-cov report build/fuzz-coverage/registry_script_fuzzer -instr-profile=build/fuzz-coverage/corpus.profdata \
  src/registrar
