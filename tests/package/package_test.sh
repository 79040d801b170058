#!/usr/bin/env bash
# Checks the packages in PACKAGES: the .deb's contents and computed
# dependencies, then installs it into a temporary root and starts the
# installed program offscreen for one "read 1" against the installed
# simulator; and the .zip's contents. Ends with "N passed, N failed".
# Usage: package_test.sh PACKAGES NATIVE_BUILD
set -uo pipefail
packages="$1"
native="$2"
deb=$(ls "$packages"/corvelle_*_amd64.deb 2>/dev/null | head -n 1)
zip=$(ls "$packages"/corvelle-*-windows.zip 2>/dev/null | head -n 1)
script_library="$native/tools/qt_script/libcorvelle-qt-script.so"
work=$(mktemp -d)
sim_pid=""
trap '[[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT

passed=0
failed=0
check() {
  local what="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok      $what"
  else
    failed=$((failed + 1))
    echo "FAILED  $what"
  fi
}

[[ -f "$deb" && -f "$zip" ]] || { echo "no packages in $packages"; exit 2; }

depends=$(dpkg-deb -f "$deb" Depends)
check "the .deb's dependencies are computed from the binaries ($depends)" \
  grep -q "libqt6widgets6" <<<"$depends"

dpkg-deb -x "$deb" "$work/root"
for path in usr/bin/corvelle usr/bin/corvelle-sim usr/share/applications/corvelle.desktop \
  usr/share/icons/hicolor/scalable/apps/corvelle.svg usr/share/doc/corvelle/copyright; do
  check "the .deb holds /$path" test -s "$work/root/$path"
done
check "the desktop entry starts corvelle with its icon" \
  grep -qx "Exec=corvelle" "$work/root/usr/share/applications/corvelle.desktop"

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

echo "$passed passed, $failed failed"
((failed == 0))
