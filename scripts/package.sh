#!/usr/bin/env bash
# Builds the packages into build/packages with the package workflows: the .deb
# of the Linux program (with corvelle-sim, a desktop entry, its icon, AppStream
# metadata and manual pages), and the .zip and the per-user .msi of the
# Windows program, with their SHA256SUMS. With CORVELLE_SIGN_CERT and
# CORVELLE_SIGN_KEY set, corvelle.exe and the .msi are signed
# (packaging/windows/sign.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ROOT"

ensure_packages "${PACKAGES_BUILD[@]}" "${PACKAGES_QT[@]}" "${PACKAGES_PACKAGE[@]}" "${PACKAGES_WINDOWS[@]}"
pin_packaging_environment
build_preset package-linux
build_preset package-windows
cp build/windows/corvelle-*-windows.msi build/packages/
rm -rf build/packages/_CPack_Packages
write_checksums build/packages
ls -l build/packages/*.deb build/packages/*.zip build/packages/*.msi build/packages/SHA256SUMS
