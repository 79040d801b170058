#!/usr/bin/env bash
# Checks the packages in PACKAGES: the .deb against lintian (no error, no
# warning), its AppStream metadata and desktop entry against their
# validators, its contents and computed dependencies; then installs it into a
# temporary root and starts the installed program offscreen for one "read 1"
# against the installed simulator; and the .zip's and the .msi's contents.
# (The .msi is installed and run under Wine by the end-to-end suite's
# WindowsPackage test.) Ends with "N passed, N failed".
# Usage: package_test.sh PACKAGES NATIVE_BUILD
set -uo pipefail
packages="$1"
native="$2"
deb=$(ls "$packages"/corvelle_*_amd64.deb 2>/dev/null | head -n 1)
zip=$(ls "$packages"/corvelle-*-windows.zip 2>/dev/null | head -n 1)
msi=$(ls "$packages"/corvelle-*-windows.msi 2>/dev/null | head -n 1)
script_library="$native/tools/qt_script/libcorvelle-qt-script.so"
work=$(mktemp -d)
sim_pid=""
trap '[[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

source "$(dirname "${BASH_SOURCE[0]}")/check.sh"

[[ -f "$deb" && -f "$zip" && -f "$msi" ]] || { echo "no packages in $packages"; exit 2; }

# The default profile; informational tags are shown. Errors, warnings, and
# any tag of missing hardening or of sections a Debian build strips, fail.
lintian_clean() {
  local report
  report=$(lintian --allow-root --info "$deb" 2>&1)
  sed 's/^/        /' <<<"$report"
  ! grep -qE '^[EW]: |hardening-|binary-has-unneeded-section' <<<"$report"
}
check "lintian reports no error, no warning and no hardening tag for the .deb" lintian_clean
check "the packages' checksums are in SHA256SUMS beside them" \
  bash -c 'cd "$1" && sha256sum --quiet -c SHA256SUMS && [[ $(wc -l <SHA256SUMS) == 3 ]]' _ "$packages"

depends=$(dpkg-deb -f "$deb" Depends)
check "the .deb's dependencies are computed from the binaries ($depends)" \
  grep -q "libqt6widgets6" <<<"$depends"

dpkg-deb -x "$deb" "$work/root"
desktop=usr/share/applications/io.github.corvelle.Corvelle.desktop
metainfo=usr/share/metainfo/io.github.corvelle.Corvelle.metainfo.xml
for path in usr/bin/corvelle usr/bin/corvelle-sim "$desktop" "$metainfo" \
  usr/share/icons/hicolor/scalable/apps/corvelle.svg usr/share/doc/corvelle/copyright \
  usr/share/doc/corvelle/changelog.gz usr/share/man/man1/corvelle.1.gz \
  usr/share/man/man1/corvelle-sim.1.gz; do
  check "the .deb holds /$path" test -s "$work/root/$path"
done
check "the desktop entry starts corvelle with its icon" \
  grep -qx "Exec=corvelle" "$work/root/$desktop"
check "desktop-file-validate accepts the desktop entry" desktop-file-validate "$work/root/$desktop"
check "appstreamcli accepts the AppStream metadata" \
  appstreamcli validate --no-net "$work/root/$metainfo"
check "the AppStream metadata launches the desktop entry" \
  grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$work/root/$metainfo"

# The installed simulator, and the installed program worked by the script library.
"$work/root/usr/bin/corvelle-sim" --port-dir "$work/ports" </dev/null >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  grep -q "transmitter on" "$work/sim.log" && break
  sleep 0.1
done
read_once() {
  CORVELLE_PORT_DIR="$work/ports" QT_QPA_PLATFORM=offscreen LD_PRELOAD="$script_library" \
    CORVELLE_QT_SCRIPT="click IDC_CONNECT; click IDC_READ_SETTING; wait IDC_MESSAGE sensor data read success; close" \
    timeout 30 "$work/root/usr/bin/corvelle" 2>&1 | tee "$work/run.log" | sed 's/^/        /'
  ((PIPESTATUS[0] == 0)) && grep -q "ok close" "$work/run.log"
}
check "the installed program reads the setting from the installed simulator" read_once

contents=$(unzip -Z1 "$zip")
check "the .zip holds corvelle.exe and the README" \
  bash -c '[[ "$1" == *corvelle.exe* && "$1" == *README.md* ]]' _ "$contents"
# Per user: no ALLUSERS property. The upgrade code is the one every version keeps.
msi_table() { msiinfo export "$msi" "$1" 2>/dev/null; }
check "the .msi holds corvelle.exe" grep -q "corvelle.exe" <<<"$(msi_table File)"
check "the .msi makes a Start-menu shortcut named Corvelle" \
  grep -qP "^\w+\tProgramMenuFolder\tCorvelle\t" <<<"$(msi_table Shortcut)"
check "the .msi installs per user" bash -c '! grep -q "^ALLUSERS" <<<"$1"' _ "$(msi_table Property)"
check "the .msi keeps the fixed upgrade code" \
  grep -qi "^UpgradeCode.{f0ce6a0e-635a-4ccc-a271-a4a24d62a6d5}" <<<"$(msi_table Property)"

summary
