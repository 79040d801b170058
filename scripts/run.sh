#!/usr/bin/env bash
# Shows the Windows program against a simulated transmitter: builds the
# simulator natively and the program with mingw-w64, starts the simulator,
# publishes its port to Wine as COM12 and runs the program under Wine. On a
# machine without a display it uses a virtual one, saves a screenshot of the
# window and stops.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$ROOT/scripts/wine_env.sh"
cd "$ROOT"

ensure_packages "${PACKAGES_BUILD[@]}" "${PACKAGES_WINDOWS[@]}" "${PACKAGES_WINE[@]}"
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
