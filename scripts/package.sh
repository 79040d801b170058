#!/usr/bin/env bash
# Builds the packages into build/packages: the .deb of the Linux program (with
# corvelle-sim, a desktop entry and its icon) and the .zip of the Windows program.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ROOT"

ensure_packages "${PACKAGES_BUILD[@]}" "${PACKAGES_QT[@]}" "${PACKAGES_PACKAGE[@]}" "${PACKAGES_WINDOWS[@]}"
build_preset native
build_preset windows
mkdir -p build/packages
for preset in native windows; do
  (cd "build/$preset" && cpack -B "$ROOT/build/packages" >"$ROOT/build/packages/cpack-$preset.log" 2>&1) ||
    { tail -n 30 "build/packages/cpack-$preset.log"; exit 1; }
done
rm -rf build/packages/_CPack_Packages
ls -l build/packages/*.deb build/packages/*.zip
