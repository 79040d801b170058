#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, starting from the seed corpus in
# the repository (copied, so the repository is not changed).
# Usage: run_fuzzers.sh BUILD_DIR SECONDS_PER_TARGET
set -euo pipefail
build="$1"
seconds="${2:-20}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in fuzz_replies fuzz_frames fuzz_numbers fuzz_validation; do
  mkdir -p "$work/$target"
  cp "$here/corpus/$target/"* "$work/$target/" 2>/dev/null || true
  if "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$work/" "$work/$target" >"$work/$target.log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$' || echo "?")
    echo "$target: ok, $runs inputs in ${seconds} s"
  else
    status=1
    echo "$target: FAILED"
    tail -n 30 "$work/$target.log"
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
      [[ -e "$crash" ]] && { echo "input:"; od -A x -t x1z "$crash" | head -n 10; }
    done
  fi
done
exit $status
