#!/usr/bin/env bash
# Builds the packages of the given build folders into OUT, as the package
# workflows do: the .deb from the native build, the .zip and the .msi from the
# windows one, with their SHA256SUMS.
# Usage: build_packages.sh OUT BUILD...
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
pin_packaging_environment
out="$1"
shift
rm -rf "$out"
mkdir -p "$out"
for build in "$@"; do
  log="$out/cpack-$(basename "$build").log"
  (cd "$build" && cpack -B "$out" >"$log" 2>&1) || { tail -n 30 "$log"; exit 1; }
  targets=$(cmake --build "$build" --target help 2>/dev/null || true)
  if grep -q corvelle-msi <<<"$targets"; then
    cmake --build "$build" --target corvelle-msi >>"$log" 2>&1 || { tail -n 30 "$log"; exit 1; }
    cp "$build"/corvelle-*-windows.msi "$out/"
  fi
done
rm -rf "$out/_CPack_Packages"
write_checksums "$out"
ls -l "$out"
