#!/usr/bin/env bash
# Shows the program against a simulated transmitter.
#
#   scripts/run.sh            the Linux program, natively. On a machine without
#                             a display it runs on Qt's offscreen platform,
#                             performs one "read 1" and saves a screenshot.
#   scripts/run.sh --windows  the Windows program under Wine, with the
#                             simulator's port published as COM12. Without a
#                             display it uses a virtual one and saves a screenshot.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$ROOT"

if [[ "${1:-}" == "--windows" ]]; then
  source "$ROOT/scripts/wine_env.sh"
  ensure_packages "${PACKAGES_BUILD[@]}" "${PACKAGES_QT[@]}" "${PACKAGES_WINDOWS[@]}" "${PACKAGES_WINE[@]}"
  build_preset native
  build_preset windows

  mkdir -p "$ROOT/build/run"
  wine_env_init "$ROOT/build/run"
  trap stop_wine_env EXIT

  headless=0
  if [[ -z "${DISPLAY:-}" ]]; then
    headless=1
    start_virtual_display
  fi
  echo "== preparing Wine (the first time takes a few seconds)"
  make_wine_prefix
  start_simulator "$ROOT/build/native/tools/sim/corvelle-sim"
  map_com_port COM12 "$SIM_PORT"
  echo "== simulated transmitter on $SIM_PORT, which Windows programs see as COM12"
  echo "   (type commands for it into another terminal: echo silent > $WORK/sim.in)"

  app="Z:$(printf '%s' "$ROOT/build/windows/src/app/win32/corvelle.exe" | tr / '\\')"
  if ((headless)); then
    wine "$app" >>"$WORK/wine.log" 2>&1 &
    sleep 4
    import -display "$DISPLAY" -window root "$WORK/screen.png"
    echo "== no display here: the window ran on a virtual one; its picture is $WORK/screen.png"
  else
    echo "== starting Corvelle; press Connect, then read 1 or read cold port. Close the window to stop."
    wine "$app" >>"$WORK/wine.log" 2>&1
  fi
  exit 0
fi

ensure_packages "${PACKAGES_BUILD[@]}" "${PACKAGES_QT[@]}"
build_preset native

WORK="$ROOT/build/run-linux"
rm -rf "$WORK"
mkdir -p "$WORK"
mkfifo "$WORK/sim.in"
exec {sim_fd}<>"$WORK/sim.in"
"$ROOT/build/native/tools/sim/corvelle-sim" --port-dir "$WORK/ports" <"$WORK/sim.in" >"$WORK/sim.log" 2>&1 &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null' EXIT
for _ in $(seq 50); do
  grep -q "transmitter on" "$WORK/sim.log" && break
  sleep 0.1
done
sed -n 's/^corvelle-sim: //p' "$WORK/sim.log"
export CORVELLE_PORT_DIR="$WORK/ports"
program="$ROOT/build/native/src/app/qt/corvelle"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  shot="$WORK/linux-window.png"
  QT_QPA_PLATFORM=offscreen LD_PRELOAD="$ROOT/build/native/tools/qt_script/libcorvelle-qt-script.so" \
    CORVELLE_QT_SCRIPT="click IDC_READ_SETTING; wait IDC_MESSAGE sensor data read success; shot $shot; close" \
    "$program"
  echo "== no display here: the window ran offscreen, read the setting once; its picture is $shot"
else
  echo "== starting Corvelle; press Connect, then read 1 or read cold port. Close the window to stop."
  echo "   (type commands for the simulator into another terminal: echo silent > $WORK/sim.in)"
  "$program"
fi
