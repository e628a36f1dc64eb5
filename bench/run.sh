#!/usr/bin/env bash
# Builds the release preset and runs every benchmark inside the test rig,
# then prints one line per figure with its target and, where there is one,
# the reference measured in the same run. Each bench's full output is kept
# in build-release/bench-logs/.
#   bench/run.sh [--no-build] [bench ...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$top"
build=build-release
benches=(bench_audiowriter bench_capture bench_cli bench_relay_load bench_relay_wer bench_dictation bench_desktop)
if [ "${1:-}" = "--no-build" ]; then shift; else
  build_preset release -j2 --target parlova parlova-relais "${benches[@]}"
fi
[ $# -eq 0 ] || benches=("$@")
logs=$build/bench-logs
mkdir -p "$logs"

# The dictation bench runs four times: under Xvfb, with 10 s between
# dictations (the relay has closed the idle connection by then), with 8 s
# takes (a body of several writes on a kept-alive connection), and on the
# rig's Wayland desktop. The relay load runs on SQLite, on PostgreSQL, and
# with two processes on PostgreSQL behind nginx.
runs=()
for bench in "${benches[@]}"; do
  runs+=("$bench")
  [ "$bench" != bench_dictation ] || runs+=("bench_dictation --ecart 10" "bench_dictation --prise 8" "bench_dictation --wayland")
  [ "$bench" != bench_relay_load ] || runs+=("bench_relay_load --postgresql" "bench_relay_load --deux-postgresql")
done
log_of() {
  local name=${1// --/_}
  echo "$logs/${name// /_}.log"
}
for run in "${runs[@]}"; do
  read -r bench options <<<"$run"
  log=$(log_of "$run")
  echo "… $run" >&2
  # shellcheck disable=SC2086 # options are words
  if ! "$top/scripts/rig.sh" --build "$top/$build" "$top/$build/bench/$bench" $options >"$log" 2>&1; then
    echo "FIGURE|$run|échec|||voir $log" >>"$log"
  fi
done

# figure | value | target | reference | verdict
printf '%-50s %-18s %-20s %s\n' "Mesure" "Valeur" "Objectif" "Référence / remarque"
for run in "${runs[@]}"; do
  grep -h '^FIGURE|' "$(log_of "$run")" | while IFS='|' read -r _ name value target reference verdict; do
    printf '%-50s %-18s %-20s %s\n' "$name" "$value" "${target:-—} ${verdict}" "$reference"
  done
done
