#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UBSan) and runs
# each for a bounded time on its seed corpus in fuzz/corpus/.
#   scripts/fuzz.sh [seconds per target] [target ...]
# New inputs go to build-fuzz/corpus/<target> (the seeds stay as they are);
# a crash leaves its input in build-fuzz/artifacts/ and fails the script.
# PARLOVA_FUZZ_JOBS targets run side by side (1 unless set).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
seconds=${1:-20}
shift || true
cd "$top"
build_preset fuzz -j2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi
out=build-fuzz
mkdir -p "$out/artifacts" "$out/logs"
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_LOGGING_RULES="*.debug=false;*.warning=false"

run_one() {
  local name=$1 log="$out/logs/$1.log"
  mkdir -p "$out/corpus/$name"
  if "$out/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -max_len=65536 -print_final_stats=1 -artifact_prefix="$out/artifacts/$name-" \
       "$out/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
    printf '%-15s ok  %s\n' "$name" "$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2 " runs"}') $(grep -oE 'cov: [0-9]+' "$log" | tail -1)"
  else
    printf '%-15s FAILED, see %s\n' "$name" "$log"
    grep -E 'ERROR|SUMMARY|runtime error' "$log" | head -5
    return 1
  fi
}

jobs=${PARLOVA_FUZZ_JOBS:-1}
status=0
pids=()
for name in "${targets[@]}"; do
  run_one "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
