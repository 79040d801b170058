#!/usr/bin/env bash
# Measures both windows in one run and writes docs/performance.md: timing
# fidelity of every operation (the Linux window natively, the Windows program
# under Wine), the reply latency, start-up and idle cost against minimal
# windows of each toolkit, and the footprint. Every figure is a difference or a
# ratio within this run: the machine is shared and noisy.
#
# usage: bash bench/run.sh [RUNS]   (default 5)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
cd "$ROOT"
runs="${1:-5}"

ensure_packages "${PACKAGES_BUILD[@]}" "${PACKAGES_QT[@]}" "${PACKAGES_PACKAGE[@]}" \
  "${PACKAGES_WINDOWS[@]}" "${PACKAGES_WINE[@]}"
bash scripts/package.sh >/dev/null

work="$ROOT/build/bench"
rm -rf "$work"
mkdir -p "$work"
trap 'tests/e2e/wine_fixture.sh down "$work/wine" >/dev/null 2>&1' EXIT

echo "== the Linux window, natively"
build/native/bench/corvelle_bench_native "$runs" >"$work/native.md"
echo "== the Windows program under Wine"
tests/e2e/wine_fixture.sh up "$work/wine" 1 >"$work/fixture.log" 2>&1
CORVELLE_E2E_WORK="$work/wine" build/native/bench/corvelle_bench_wine "$runs" >"$work/wine.md"
tests/e2e/wine_fixture.sh down "$work/wine" >/dev/null 2>&1

size() { stat -c %s "$1"; }
imports() {
  x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | paste -sd, - |
    sed 's/,/, /g'
}
exe=build/windows/src/app/win32/corvelle.exe
minimal=build/windows/bench/minimal-dialog.exe
deb=$(ls build/packages/corvelle_*_amd64.deb | head -n 1)

{
  echo "# Performance"
  echo
  echo "Written by \`bash bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'); rerun it to"
  echo "measure again (\`bash bench/run.sh 10\` for ten runs of each operation)."
  echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1),"
  echo "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(uname -sr),"
  echo "$(wine --version) under Xvfb. The machine is shared, so every figure is a"
  echo "difference from a nominal moment or a comparison with a minimal window measured in"
  echo "the same run; none is an absolute to hold against another run."
  echo
  echo "The targets: every progress step and outcome within 5 ms of its nominal moment"
  echo "natively and within 15 ms under Wine, as the median of the runs, and never early."
  echo
  cat "$work/native.md"
  echo
  cat "$work/wine.md"
  echo
  echo "### Footprint"
  echo
  echo "| what | size |"
  echo "|---|---|"
  echo "| corvelle.exe (static, stripped) | $(size "$exe") bytes |"
  echo "| empty dialog with the same manifest, built the same way | $(size "$minimal") bytes |"
  echo "| $(basename "$deb") | $(size "$deb") bytes |"
  echo
  echo "corvelle.exe imports only: $(imports "$exe")."
} >docs/performance.md
echo "== wrote docs/performance.md"
