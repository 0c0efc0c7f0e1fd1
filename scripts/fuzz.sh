#!/usr/bin/env bash
# Longer fuzzing runs: builds the libFuzzer targets (preset "fuzz", clang) and runs each for
# a while, starting from its committed seed corpus and the inputs earlier runs found.
#
#   scripts/fuzz.sh [-t SECONDS] [--merge] [TARGET...]
#
#   -t SECONDS   time per target (default 60)
#   --merge      afterwards, add the inputs that reach new code to fuzz/corpus/<target>/
#   TARGET       guid_text, wide_text, handmade_map, collection_map, ... (default: all)
#
# Prints the executions of each target; a finding (crash, leak, time-out, failed check)
# leaves its input as build/fuzz/fuzz/work/<target>/crash-* (or leak-*, timeout-*) and makes
# the script fail. Reproduce one with: build/fuzz/bin/<target> <that file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
merge=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    -t) seconds="$2"; shift 2 ;;
    --merge) merge=1; shift ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

scripts/setup-debian.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(ls fuzz/corpus)
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
failed=0
for target in "${targets[@]}"; do
  work="build/fuzz/fuzz/work/$target"
  mkdir -p "$work"
  log="$work/last-run.log"
  status=0
  "build/fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -eq 0 ]; then
    echo "fuzz: $target: ${runs:-?} executions in ${seconds} s, no finding"
  else
    failed=1
    echo "fuzz: $target: FINDING after ${runs:-?} executions (exit $status); log: $log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|[a-z_]+: )|artifact' "$log" | head -5 | sed 's/^/  /'
  fi
  if [ "$merge" -eq 1 ]; then
    "build/fuzz/bin/$target" -merge=1 "fuzz/corpus/$target" "$work" >/dev/null 2>&1
  fi
done
exit "$failed"
