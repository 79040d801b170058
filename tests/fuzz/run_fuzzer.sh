#!/usr/bin/env bash
# Runs one fuzz target for a bounded time, starting from its seed corpus in
# the repository (copied, so the repository is not changed). On a failure it
# shows the end of the log and the input that failed.
# Usage: run_fuzzer.sh TARGET CORPUS SECONDS
set -euo pipefail
target="$1"
corpus="$2"
seconds="${3:-20}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
cp "$corpus/"* "$work/corpus/" 2>/dev/null || true
name=$(basename "$target")
if "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
  "$work/corpus" >"$work/log" 2>&1; then
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || echo "?")
  echo "$name: ok, $runs inputs in ${seconds} s"
else
  echo "$name: FAILED"
  tail -n 30 "$work/log"
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
    [[ -e "$crash" ]] && { echo "input:"; od -A x -t x1z "$crash" | head -n 10; }
  done
  exit 1
fi
