#!/usr/bin/env bash
# The surroundings of the end-to-end suite, set up once per run as a CTest
# fixture. Each slot (one per test that may run at the same time) gets its own
# virtual display and Wine prefix with a persistent wineserver, and Wine lists
# COM12 there as WORK/slot-N/com12: a link that each test points at its own
# simulated transmitter, so that no test sees another's device or window.
#
#   wine_fixture.sh up WORK SLOTS [WARM]  set everything up (WORK is emptied
#                                    first), running the Windows program WARM
#                                    once in each slot
#   wine_fixture.sh down WORK        stop every wineserver and display
#   wine_fixture.sh run WORK EXE     run a Windows program in this test's slot
#
# A test's slot comes from CTest's resource allocation
# (CTEST_RESOURCE_GROUP_0_WINE); a test run on its own uses slot 0.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"
source "$ROOT/scripts/wine_env.sh"

action="$1"
BASE="$2"

slot_dir() { printf '%s/slot-%s' "$BASE" "$1"; }

# Points Wine and X at slot $1.
use_slot() {
  wine_env_init "$(slot_dir "$1")"
  [[ -f "$WORK/display" ]] && export DISPLAY=":$(tr -dc 0-9 <"$WORK/display")"
}

case "$action" in
  up)
    slots="${3:-1}"
    "$0" down "$BASE" >/dev/null 2>&1
    rm -rf "$BASE"
    mkdir -p "$BASE"
    # Packages are installed by the test command; checked here for a run by hand.
    ensure_packages "${PACKAGES_WINE[@]}" || exit 1
    for ((n = 0; n < slots; n++)); do
      use_slot "$n"
      mkdir -p "$WORK"
      ln -sfn /dev/null "$WORK/com12"
      start_virtual_display || exit 1
      if ((n == 0)); then
        make_wine_prefix
        base_prefix="$WINEPREFIX"
      else
        cp -a "$base_prefix" "$WINEPREFIX"
      fi
      map_com_port COM12 "$WORK/com12"
      # Wine's own processes inherit nothing of the caller's output, so that
      # CTest does not wait for them.
      wineserver -p </dev/null >>"$WORK/wine.log" 2>&1
      wine cmd /c exit </dev/null >>"$WORK/wine.log" 2>&1
      # The first program with windows in a new prefix starts its desktop and
      # loads the window system and fonts, which took the first test's
      # launch past 2 s; a program with windows of its own, run once, pays
      # that instead.
      [[ -n "${4:-}" ]] && wine "$4" </dev/null >>"$WORK/wine.log" 2>&1
      echo "slot $n: display $DISPLAY, prefix $WINEPREFIX"
    done
    ;;
  down)
    for dir in "$BASE"/slot-*; do
      [[ -d "$dir" ]] || continue
      export WINEPREFIX="$dir/wineprefix"
      [[ -d "$WINEPREFIX" ]] && timeout 10 wineserver -k 2>/dev/null
      [[ -f "$dir/xvfb.pid" ]] && kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
    done
    exit 0
    ;;
  run)
    slot=$(sed -n 's/^id:\([^,]*\),.*/\1/p' <<<"${CTEST_RESOURCE_GROUP_0_WINE:-}")
    use_slot "${slot:-0}"
    exec wine "$3" 2>>"$WORK/wine.log"
    ;;
  *)
    sed -n '2,13p' "$0"
    exit 2
    ;;
esac
