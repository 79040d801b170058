#!/usr/bin/env bash
# Installs what is missing, checks the include order, builds every preset and
# runs every test preset: unit, integration and Qt window tests natively and
# under the sanitizers, the fuzz targets for a bounded time, the Windows
# program end to end under Wine, and the packages. The stages, filters,
# parallelism and time-outs are the presets' (CMakePresets.json).
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

# ThreadSanitizer needs a fixed address layout on kernels with wide mmap randomisation.
fixed_layout() {
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    setarch "$(uname -m)" -R "$@"
  else
    "$@"
  fi
}

stage "include order" scripts/check_includes.sh
for preset in native windows asan tsan fuzz; do
  stage "build $preset" build_preset "$preset"
done

stage "tests native" ctest --preset native
stage "tests asan+ubsan" ctest --preset asan
stage "tests tsan" fixed_layout ctest --preset tsan
stage "fuzz" ctest --preset fuzz
stage "end to end under wine" ctest --preset e2e
stage "packages" ctest --preset package

echo
echo "==== summary"
for s in "${passed[@]}"; do echo "  ok      $s"; done
for s in "${failed[@]+"${failed[@]}"}"; do echo "  FAILED  $s"; done
echo "${#passed[@]} passed, ${#failed[@]} failed"
((${#failed[@]} == 0))
