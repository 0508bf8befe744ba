#!/usr/bin/env bash
# Runs each libFuzzer target for a bounded time from the committed seeds.
# Usage: run.sh BUILD_DIR SECONDS TARGET...
# New inputs go to a scratch corpus under BUILD_DIR; a crash keeps its input
# there as BUILD_DIR/<target>-crash-* and fails the run.
set -uo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

status=0
for target in "$@"; do
  corpus=$build/corpus/$target
  log=$build/fuzz_$target.log
  mkdir -p "$corpus"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/$target-" "$corpus" "$here/corpus/$target" >"$log" 2>&1
  code=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ $code -ne 0 ]; then
    echo "fuzz_$target: FAILED (exit $code)"
    tail -n 60 "$log"
    status=1
  else
    echo "fuzz_$target: ${runs:-?} runs in ${seconds} s, ${rate:-?} exec/s, no crash"
  fi
done
exit $status
