# The Windows program's surroundings under Wine, shared by scripts/run.sh and
# the end-to-end tests: a virtual display, a private Wine prefix set up for an
# X server without a window manager, the simulated transmitter, and its
# pseudo-terminal published to Wine as a COM port. Sourced, not run; each
# function leaves its process ids in globals for the caller's clean-up.

# Points Wine at a private prefix under WORK.
wine_env_init() {
  WORK="$1"
  export WINEPREFIX="$WORK/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LANG=C.UTF-8
  XVFB_PID=""
  SIM_PID=""
  SIM_PORT=""
}

# Starts Xvfb on a free display and exports DISPLAY.
start_virtual_display() {
  # Xvfb picks a free display itself and writes its number once it accepts clients.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" </dev/null \
    >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  echo "$XVFB_PID" >"$WORK/xvfb.pid"
  local display="" _
  for _ in $(seq 100); do
    display=$(tr -dc 0-9 <"$WORK/display")
    [[ -n "$display" ]] && break
    sleep 0.1
  done
  [[ -n "$display" ]] || { echo "Xvfb did not start"; cat "$WORK/xvfb.log"; return 1; }
  export DISPLAY=":$display"
}

# Writes registry settings (a .reg body in UTF-8 on stdin) into the prefix, and
# restarts Wine so that they, and a changed port mapping, take effect.
import_registry() {
  local name="$1"
  { printf 'Windows Registry Editor Version 5.00\n\n'; cat; } | sed 's/$/\r/' >"$WORK/$name.reg.txt"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$WORK/$name.reg.txt"; } >"$WORK/$name.reg"
  wine regedit /S "Z:$(printf '%s' "$WORK/$name.reg" | tr / '\\')" >>"$WORK/wine.log" 2>&1
  wineserver -k
  wineserver -w
}

# Creates the prefix (about 10 s) unless it exists already.
make_wine_prefix() {
  [[ -f "$WINEPREFIX/system.reg" ]] && return 0
  wineboot -i >>"$WORK/wine.log" 2>&1
  wineserver -w
  # Debian's Wine does not find its own Marlett font, which draws the caption
  # buttons; without it they show as letters.
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
  # Unmanaged windows (Xvfb has no window manager, and managed windows cost
  # seconds per box), the dialog font mapped to an installed CJK font, no
  # crash dialog, no audio.
  import_registry settings <<'REG'
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Audio"=""

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"SimHei"="WenQuanYi Micro Hei"
"黑体"="WenQuanYi Micro Hei"
REG
}

# Shows PATH to Windows programs as the serial port NAME (e.g. COM12).
map_com_port() {
  import_registry port <<REG
[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"$1"="$2"
REG
}

# Starts the simulator SIM with its commands coming through a FIFO that stays
# open on descriptor $sim_fd; sets SIM_PID and SIM_PORT (its published path).
start_simulator() {
  local sim="$1"
  rm -f "$WORK/sim.in"
  mkfifo "$WORK/sim.in"
  exec {sim_fd}<>"$WORK/sim.in"
  "$sim" --port-dir "$WORK/ports" <"$WORK/sim.in" >"$WORK/sim.log" 2>&1 &
  SIM_PID=$!
  local _
  for _ in $(seq 50); do
    SIM_PORT=$(sed -n 's/^corvelle-sim: transmitter on \(.*\) (terminal .*$/\1/p' "$WORK/sim.log")
    [[ -n "$SIM_PORT" ]] && return 0
    sleep 0.1
  done
  echo "the simulator did not start"
  cat "$WORK/sim.log"
  return 1
}

# Stops what the functions above started.
stop_wine_env() {
  [[ -d "${WINEPREFIX:-}" ]] && timeout 10 wineserver -k 2>/dev/null
  [[ -n "${SIM_PID:-}" ]] && kill "$SIM_PID" 2>/dev/null
  [[ -n "${XVFB_PID:-}" ]] && kill "$XVFB_PID" 2>/dev/null
  wait 2>/dev/null
}
