#!/usr/bin/env bash
# Installs what is missing, checks the include order, builds every preset and
# runs every test: unit, integration and Qt window tests natively and under
# the sanitizers, the fuzz targets for a bounded time, the Windows program end
# to end under Wine, and the packages.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ROOT"

ensure_packages "${PACKAGES_BUILD[@]}" "${PACKAGES_QT[@]}" "${PACKAGES_PACKAGE[@]}" "${PACKAGES_WINDOWS[@]}" \
  "${PACKAGES_WINE[@]}" "${PACKAGES_FUZZ[@]}"

failed=()
passed=()
stage() {
  local name="$1"
  shift
  echo
  echo "==== $name"
  local start=$SECONDS
  if "$@"; then
    passed+=("$name")
    echo "==== $name: ok ($((SECONDS - start)) s)"
  else
    failed+=("$name")
    echo "==== $name: FAILED ($((SECONDS - start)) s)"
  fi
}

run_ctest() {
  local preset="$1" jobs="$2"
  # The operation tests mostly sleep through fixed timings, so they run many at once.
  ctest --test-dir "build/$preset" -LE e2e -j "$jobs" --output-on-failure --timeout 400
}

# The Windows program under Wine, three at a time, each in a Wine prefix and
# display of its own (the slots of wine_slots.json).
run_e2e() {
  ctest --test-dir build/native -L e2e -j 3 --resource-spec-file "$ROOT/tests/e2e/wine_slots.json" \
    --output-on-failure
}

# ThreadSanitizer needs a fixed address layout on kernels with wide mmap randomisation.
run_tsan_ctest() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    setarch "$(uname -m)" -R ctest --test-dir build/tsan -j 6 --output-on-failure --timeout 600
  else
    run_ctest tsan 6
  fi
}

stage "include order" scripts/check_includes.sh
stage "build native" build_preset native
stage "build windows" build_preset windows
stage "build asan" build_preset asan
stage "build tsan" build_preset tsan
stage "build fuzz" build_preset fuzz

stage "tests native" run_ctest native 12
stage "tests asan+ubsan" run_ctest asan 8
stage "tests tsan" run_tsan_ctest
stage "fuzz" tests/fuzz/run_fuzzers.sh build/fuzz 20
stage "end to end under wine" run_e2e
stage "packages" scripts/package.sh
stage "package test" tests/package/package_test.sh

echo
echo "==== summary"
for s in "${passed[@]}"; do echo "  ok      $s"; done
for s in "${failed[@]+"${failed[@]}"}"; do echo "  FAILED  $s"; done
echo "${#passed[@]} passed, ${#failed[@]} failed"
((${#failed[@]} == 0))
