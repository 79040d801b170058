#!/usr/bin/env bash
# End-to-end tests of the Windows program: corvelle.exe runs under Wine on a
# virtual X display, talks to the simulated transmitter through a COM port
# that Wine maps onto the simulator's pseudo-terminal, and is worked from
# outside by corvelle-driver.exe (clicks, typing, reading texts and "tips"
# boxes by control id). Also checks the executable itself (size, imports), the
# view operations on real controls, and the C runtime comparison of the cold
# port number format.
#
# usage: tests/e2e/run_e2e.sh [NATIVE_BUILD_DIR] [WINDOWS_BUILD_DIR] [--update-screenshot]
#   NATIVE_BUILD_DIR   holds tools/sim/corvelle-sim      (default build/native)
#   WINDOWS_BUILD_DIR  holds the Windows executables     (default build/windows)
#   --update-screenshot  also copy the dialog's screenshot to docs/windows-dialog.png
#
# Everything it starts is stopped on exit. Work files, logs and the screenshot
# are kept in WINDOWS_BUILD_DIR/e2e. Ends with "N passed, N failed".
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
NATIVE_DIR="build/native"
WINDOWS_DIR="build/windows"
UPDATE_SCREENSHOT=0
positional=()
for arg in "$@"; do
  case "$arg" in
    --update-screenshot) UPDATE_SCREENSHOT=1 ;;
    -h | --help)
      sed -n '2,16p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *) positional+=("$arg") ;;
  esac
done
((${#positional[@]} > 0)) && NATIVE_DIR="${positional[0]}"
((${#positional[@]} > 1)) && WINDOWS_DIR="${positional[1]}"
cd "$ROOT"
NATIVE_DIR="$(cd "$NATIVE_DIR" && pwd)" || { echo "no native build at $NATIVE_DIR"; exit 2; }
WINDOWS_DIR="$(cd "$WINDOWS_DIR" && pwd)" || { echo "no windows build at $WINDOWS_DIR"; exit 2; }

SIM="$NATIVE_DIR/tools/sim/corvelle-sim"
APP="$WINDOWS_DIR/src/app/win32/corvelle.exe"
DRIVER_EXE="$WINDOWS_DIR/tests/e2e/corvelle-driver.exe"
GCVT_EXE="$WINDOWS_DIR/tests/e2e/corvelle-gcvt-compare.exe"
VIEW_TEST_EXE="$WINDOWS_DIR/tests/e2e/corvelle-view-test.exe"
for f in "$SIM" "$APP" "$DRIVER_EXE" "$GCVT_EXE" "$VIEW_TEST_EXE"; do
  [[ -x "$f" || -f "$f" ]] || { echo "missing $f: build the native and windows presets first"; exit 2; }
done

WORK="$WINDOWS_DIR/e2e"
rm -rf "$WORK"
mkdir -p "$WORK"
TRANSCRIPT="$WORK/transcript.log"
: >"$TRANSCRIPT"

STARTED=$SECONDS
note() { printf '[%4ds] %s\n' "$((SECONDS - STARTED))" "$*" | tee -a "$TRANSCRIPT"; }

# ---- what the run needs -------------------------------------------------------

source "$ROOT/scripts/common.sh"
source "$ROOT/scripts/wine_env.sh"
# wine runs the 64-bit programs, Xvfb is the display, imagemagick takes the
# screenshot, the font has the CJK glyphs the dialog font asks for, and the
# mingw binutils read the executable's imports.
ensure_packages "${PACKAGES_WINE[@]}" || { echo "cannot install the packages the tests need"; exit 2; }
OBJDUMP=x86_64-w64-mingw32-objdump

# ---- results ----------------------------------------------------------------

PASSED=0
FAILED=0
TEST_NAME=""
TEST_OK=1

begin() {
  TEST_NAME="$1"
  TEST_OK=1
}
flunk() {
  TEST_OK=0
  note "    FAIL: $*"
}
end() {
  if ((TEST_OK)); then
    PASSED=$((PASSED + 1))
    note "PASS  $TEST_NAME"
  else
    FAILED=$((FAILED + 1))
    note "FAIL  $TEST_NAME"
  fi
}

# ---- processes, all stopped on exit ---------------------------------------------

DRIVER_PID=""
wine_env_init "$WORK"

cleanup() {
  set +eu
  [[ -n "$DRIVER_PID" ]] && kill "$DRIVER_PID" 2>/dev/null
  stop_wine_env
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ---- the executable itself --------------------------------------------------------

begin "executable: at most 1 MB and imports only system DLLs"
size=$(stat -c %s "$APP")
note "    corvelle.exe is $size bytes"
((size <= 1048576)) || flunk "corvelle.exe is $size bytes, over 1 MB"
imports=$("$OBJDUMP" -p "$APP" | sed -n 's/^[[:space:]]*DLL Name: //p')
[[ -n "$imports" ]] || flunk "no import table found"
while read -r dll; do
  [[ -z "$dll" ]] && continue
  case "${dll,,}" in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | advapi32.dll | msvcrt.dll | \
      shell32.dll | ole32.dll | api-ms-win-crt-*.dll | ucrtbase.dll) note "    imports $dll" ;;
    *) flunk "imports $dll, which is not a system DLL" ;;
  esac
done <<<"$imports"
end

# ---- display, prefix, simulator -------------------------------------------------

note "starting Xvfb"
start_virtual_display || exit 2

note "creating the Wine prefix"
make_wine_prefix

# The program's port: COM12, above the host's COM1 so that it is the last one
# listed, and a name that opens only through the device namespace.
PORT_NAME="COM12"
map_port() { map_com_port "$PORT_NAME" "$1"; }

note "starting the simulated transmitter"
start_simulator "$SIM" || exit 2
note "simulator port $SIM_PORT, mapped to $PORT_NAME"
map_port "$SIM_PORT"

WIN_APP="Z:$(printf '%s' "$APP" | tr / '\\')"

# ---- the C runtime comparison ------------------------------------------------------

begin "cold port number format agrees with the C runtime's _ecvt and _gcvt"
gcvt_out=$(wine "$GCVT_EXE" 2>>"$WORK/wine.log")
gcvt_status=$?
while read -r line; do note "    $line"; done <<<"$gcvt_out"
((gcvt_status == 0)) || flunk "the comparison found differences"
end

begin "view operations carry texts between UTF-8 and the controls, cut between characters"
view_out=$(wine "$VIEW_TEST_EXE" 2>>"$WORK/wine.log")
view_status=$?
while read -r line; do note "    $line"; done <<<"$view_out"
((view_status == 0)) || flunk "the view operations failed their checks"
end

# ---- driver and simulator helpers ---------------------------------------------------

REPLY_LINE=""
start_driver() {
  coproc DRIVER { exec wine "$DRIVER_EXE" 2>>"$WORK/wine.log"; }
  DRIVER_IN=${DRIVER[1]}
  DRIVER_OUT=${DRIVER[0]}
}

stop_driver() {
  local pid=${DRIVER_PID:-}
  drv "quit"
  [[ -n "$pid" ]] && wait "$pid" 2>/dev/null
  DRIVER_PID=""
}

# Sends one command to the driver and reads its one-line answer. Returns 0 when
# the answer is "ok".
drv() {
  REPLY_LINE=""
  if ! printf '%s\n' "$1" >&"$DRIVER_IN" 2>/dev/null ||
    ! IFS= read -r -t 60 REPLY_LINE <&"$DRIVER_OUT"; then
    REPLY_LINE="[driver gave no answer]"
  fi
  REPLY_LINE=${REPLY_LINE%$'\r'}
  printf '        > %s\n        < %s\n' "$1" "$REPLY_LINE" >>"$TRANSCRIPT"
  local answer=${REPLY_LINE#*] }
  [[ $answer == ok || $answer == "ok "* ]]
}

# A driver step of the current test; a failure fails the test.
step() {
  drv "$1" || flunk "'$1' answered: ${REPLY_LINE#*] }"
}

# The milliseconds a "t=NNNms" answer reports.
answer_ms() { sed -n 's/.* t=\([0-9]*\)ms.*/\1/p' <<<"$REPLY_LINE"; }

sim() { printf '%s\n' "$*" >&"$sim_fd"; }

# Frames the simulator received since the previous call, one per line, in hex.
SIM_FRAMES_SEEN=0
NEW_FRAMES=""
collect_frames() {
  local marker="end-$RANDOM$RANDOM"
  sim frames
  sim "$marker"
  for _ in $(seq 100); do
    grep -q "unknown command: $marker" "$WORK/sim.log" && break
    sleep 0.05
  done
  # The frames command lists every frame so far; the marker ends the list.
  local all count
  all=$(awk -v m="unknown command: $marker" '
    /^unknown command: end-/ { if ($0 == m) { printf "%s", block; exit } block = ""; next }
    /^[0-9A-F][0-9A-F]( [0-9A-F][0-9A-F])*$/ { block = block $0 "\n" }' "$WORK/sim.log")
  count=$(printf '%s' "$all" | grep -c . || true)
  NEW_FRAMES=$(printf '%s' "$all" | tail -n +"$((SIM_FRAMES_SEEN + 1))")
  SIM_FRAMES_SEEN=$count
}

frame_list() { [[ -z "$1" ]] && echo "none" || tr '\n' ';' <<<"$1" | sed 's/;$//'; }

# Fails the current test unless exactly these frames arrived since the last check.
expect_frames() {
  collect_frames
  local wanted=""
  (($#)) && wanted=$(printf '%s\n' "$@")
  if [[ "$NEW_FRAMES" != "$wanted" ]]; then
    flunk "frames received: $(frame_list "$NEW_FRAMES"); expected: $(frame_list "$wanted")"
  else
    note "    frames: $(frame_list "$NEW_FRAMES")"
  fi
}

# Clicks every command button while an operation runs: each must be ignored.
click_all_during_operation() {
  local id
  for id in 1021 1037 1040 1011 1; do step "poke $id"; done
}

launch() {
  step "launch $WIN_APP"
  local ms
  ms=$(answer_ms)
  note "    window shown ${ms:-?} ms after the process started"
  [[ -n "$ms" ]] && ((ms > 1000)) && flunk "the window took $ms ms to show"
}

wait_for_port() {
  for _ in $(seq 150); do
    [[ -e "$SIM_PORT" ]] && return 0
    sleep 0.1
  done
  return 1
}

# Texts, exactly as the window shows them (leading blanks included).
SET_COMPLETE="           sensor data set complete"
SET_FAIL="           sensor data set fail"
READ_SUCCESS="           sensor data read success"
READ_FAIL="           sensor data read fail"
COLD_SUCCESS="           cold port data read success"
COLD_FAIL="              cold port data read fail"
CAL_SUCCESS="              cold port data calibrate success"
CAL_FAIL="              cold port data calibrate fail"
OPEN_FAIL="open serial port${PORT_NAME} fail，check whether the serial port is occupied"
NOT_OPEN="serial port not open"
NO_PROPERTIES="failed to get the properties of the serial port"
NO_PARAMETERS="failed to set serial port parameters"
SEND_FAIL="send data fail"

# ---- with the simulated transmitter on COM12 ---------------------------------------

start_driver

begin "start-up: window within 1 s, lists filled in order, nothing chosen, every field empty"
launch
step "expectlist 1000 Wre3-25|pt100|S type|K type|E type|PT1000|Cu50|N type|J type"
step "expectlist 1005 4-20mA|0-20mA"
step "expectlist 1006 HIGH|LOW"
step "expectlist 1015 +|-"
for id in 1000 1005 1006 1015; do
  drv "cursel $id"
  [[ ${REPLY_LINE#*] } == "ok -1" ]] || flunk "list $id has a selection: ${REPLY_LINE#*] }"
done
for id in 1004 1007 1026 1047 1017 1025 1022 1027 1020 1019 1018; do step "expect $id "; done
end

begin "Escape does nothing"
step "key 27"
step "command 2"
step "notips 400"
step "alive"
step "expect 1018 "
step "expect 1026 "
expect_frames
end

begin "Connect shows the port and opens it"
step "click 1011"
step "wait 1018 0 1500 open serial port success"
step "expect 1026 $PORT_NAME"
step "notips 200"
expect_frames
end

begin "set: an illegal max is refused with a box, nothing sent"
step "settext 1004 1005"
step "settext 1007 200"
step "click 1"
step "tips 2000 input max illegality"
step "expect 1019 "
step "expect 1018 open serial port success"
expect_frames
end

begin "set: a valid range without a sensor type asks for one, nothing sent"
step "settext 1004 1000"
step "select 1015 1"
step "click 1"
step "tips 2000 please choose the sensor type"
step "notips 300"
step "expect 1019 "
step "expect 1018 open serial port success"
expect_frames
end

begin "set: E type 1000 / -200 is sent and completes after 2 s; clicks meanwhile are ignored"
step "select 1000 4"
step "click 1"
click_all_during_operation
step "wait 1019 0 1000 you chose E type TC"
step "wait 1018 0 1200 。。"
step "wait 1018 1900 2600 $SET_COMPLETE"
note "    set complete $(answer_ms) ms after the click"
step "notips 200"
expect_frames "44 06 04 B0 80 C8 01 00 00 00 00"
end

begin "read 1: the setting shows after 3.5 s; clicks meanwhile are ignored"
step "click 1021"
click_all_during_operation
step "wait 1018 0 1500 。。"
step "wait 1018 3400 4100 $READ_SUCCESS"
note "    read success $(answer_ms) ms after the click"
step "expect 1017 sensor：E type TC\\r\\n"
step "expect 1025 +"
step "expect 1022 1000"
step "expect 1027 -"
step "expect 1020 200"
step "notips 200"
expect_frames "42"
end

begin "screenshot of the dialog after read 1"
if drv "rect"; then
  read -r x y w h <<<"${REPLY_LINE#*] ok }"
  shot="$WORK/windows-dialog.png"
  if import -display "$DISPLAY" -window root "$WORK/screen.png" 2>>"$WORK/wine.log" &&
    convert "$WORK/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$shot"; then
    deviation=$(convert "$shot" -colorspace Gray -format '%[fx:standard_deviation]' info:)
    note "    $shot (${w}x${h}, grey deviation $deviation)"
    awk -v d="$deviation" 'BEGIN { exit !(d > 0.02) }' || flunk "the screenshot looks blank"
    if ((UPDATE_SCREENSHOT)); then
      mkdir -p "$ROOT/docs" && cp "$shot" "$ROOT/docs/windows-dialog.png"
      note "    copied to docs/windows-dialog.png"
    fi
  else
    flunk "no screenshot"
  fi
else
  flunk "no window rectangle"
fi
end

begin "read 1: a short reply (10 of 11 bytes) fails after 3.5 s, fields keep their texts"
sim "short 10"
step "click 1021"
step "wait 1018 3400 4100 $READ_FAIL"
step "expect 1017 sensor：E type TC\\r\\n"
step "expect 1022 1000"
expect_frames "42"
end

begin "read 1: a reply later than 3.5 s fails and does not disturb the next operation"
sim "cold 241"
sim "late 3800"
step "click 1021"
step "wait 1018 3400 4100 $READ_FAIL"
step "sleep 600"
step "click 1037"
step "wait 1018 2000 2700 $COLD_SUCCESS"
step "expect 1047 24.1"
step "expect 1017 sensor：E type TC\\r\\n"
expect_frames "42" "45"
end

begin "read cold port: -5.2 and 25. show after 2.1 s; clicks meanwhile are ignored"
sim "cold -52"
step "click 1037"
click_all_during_operation
step "wait 1018 2000 2700 $COLD_SUCCESS"
note "    read success $(answer_ms) ms after the click"
step "expect 1047 -5.2"
sim "cold 250"
step "click 1037"
step "wait 1018 2000 2700 $COLD_SUCCESS"
step "expect 1047 25."
expect_frames "45" "45"
end

begin "a burst of 50 clicks during read cold port changes nothing; the window still works"
step "click 1037"
for _ in $(seq 10); do
  for id in 1021 1037 1040 1011 1; do drv "poke $id" || flunk "poke $id: ${REPLY_LINE#*] }"; done
done
step "wait 1018 2000 2700 $COLD_SUCCESS"
step "notips 300"
expect_frames "45"
step "click 1021"
step "wait 1018 3400 4100 $READ_SUCCESS"
step "notips 200"
expect_frames "42"
end

begin "read cold port: a silent device fails after 2.1 s"
sim "silent"
step "click 1037"
step "wait 1018 2000 2700 $COLD_FAIL"
step "expect 1047 25."
expect_frames "45"
end

begin "calibrate: an entry that is not a number is refused with a box, nothing sent"
step "settext 1047 abc"
step "click 1040"
step "tips 2000 input cold port temperature illegality"
step "notips 300"
step "expect 1018 $COLD_FAIL"
expect_frames
end

begin "calibrate: 25.0 against a read-back of 24.1 succeeds after 12.1 s; clicks ignored"
step "settext 1047 25.0"
step "click 1040"
click_all_during_operation
step "sleep 3000"
sim "cold 241" # the device settles 0.9 degrees off the target
step "wait 1018 12000 12800 $CAL_SUCCESS"
note "    calibrate success $(answer_ms) ms after the click"
step "expect 1047 25.0"
expect_frames "46 00 FA 00" "45"
end

begin "calibrate: 25.0 against a read-back of 24.0 fails"
step "click 1040"
step "sleep 3000"
sim "cold 240" # exactly one degree off
step "wait 1018 12000 12800 $CAL_FAIL"
expect_frames "46 00 FA 00" "45"
end

begin "device gone during read cold port: the operation fails after 2.1 s"
sim "cold 250"
sim "vanish 9000"
step "click 1037"
step "wait 1018 2000 2700 $COLD_FAIL"
expect_frames "45"
[[ -e "$SIM_PORT" ]] && flunk "the simulator's port did not vanish"
end

# Wine keeps a COM device whose host path has gone, and refuses to configure
# it, where Windows would refuse to open it (that case follows on its own).
begin "device gone: Connect reports the refused configuration"
step "click 1011"
step "tips 3000 $NO_PROPERTIES"
step "tips 3000 $NO_PARAMETERS"
step "notips 300"
end

begin "device gone: read 1 reports the refused configuration and the failed send, then fails"
step "click 1021"
step "tips 3000 $NO_PROPERTIES"
step "tips 3000 $NO_PARAMETERS"
step "tips 3000 $SEND_FAIL"
step "wait 1018 3400 4800 $READ_FAIL"
end

begin "device back: the window works again"
wait_for_port || flunk "the simulator's port did not come back"
step "click 1037"
step "wait 1018 2000 2700 $COLD_SUCCESS"
step "expect 1047 25."
step "notips 200"
expect_frames "45"
end

begin "closing the window during read 1 (a read pending) ends the program at once"
sim "silent"
step "click 1021"
step "sleep 1000"
step "close"
step "exited 3000"
note "    ${REPLY_LINE#*] }"
expect_frames "42"
end

begin "closing the window while calibrate holds the UI thread ends the program promptly"
launch
step "settext 1047 20"
step "click 1040"
step "sleep 300"
step "close"
step "exited 3000"
note "    ${REPLY_LINE#*] }"
expect_frames "46 00 C8 00"
end

# ---- with COM12 listed but mapped to no device --------------------------------------

stop_driver
note "mapping $PORT_NAME to a folder: listed, but it cannot be opened"
mkdir -p "$WORK/not-a-port"
map_port "$WORK/not-a-port"
start_driver

begin "port missing: Connect shows the open failure box and the port name"
launch
step "click 1011"
step "tips 3000 $OPEN_FAIL"
step "notips 300"
step "expect 1026 $PORT_NAME"
step "expect 1018 "
end

begin "port missing: read 1 shows both boxes and fails"
step "click 1021"
step "tips 3000 $OPEN_FAIL"
step "tips 3000 $NOT_OPEN"
step "wait 1018 3400 4800 $READ_FAIL"
end

begin "port missing: set shows both boxes and reports the set as failed"
step "settext 1004 1000"
step "settext 1007 0"
step "select 1015 0"
step "select 1000 3"
step "click 1"
step "tips 3000 $OPEN_FAIL"
step "tips 3000 $NOT_OPEN"
step "wait 1018 1900 3200 $SET_FAIL"
step "expect 1019 you chose K type TC"
end

begin "port missing: calibrate shows the boxes in both phases and fails to read"
step "settext 1047 25.0"
step "click 1040"
step "tips 3000 $OPEN_FAIL"
step "tips 3000 $NOT_OPEN"
step "tips 11500 $OPEN_FAIL"
step "tips 11500 $NOT_OPEN"
step "wait 1018 12000 13500 $COLD_FAIL"
end

begin "port missing: read cold port fails the same way, and the window stays usable"
step "click 1037"
step "tips 3000 $OPEN_FAIL"
step "tips 3000 $NOT_OPEN"
step "wait 1018 2000 3200 $COLD_FAIL"
step "click 1011"
step "tips 3000 $OPEN_FAIL"
expect_frames
end

begin "closing the idle window ends the program with exit code 0"
launch
step "close"
step "exited 3000"
end

stop_driver

begin "no crash reported by Wine"
if grep -nE "Unhandled|page fault" "$WORK/wine.log" >/dev/null 2>&1; then
  flunk "$(grep -nE "Unhandled|page fault" "$WORK/wine.log" | head -3)"
fi
end

note "e2e run took $((SECONDS - STARTED)) s; transcript: $TRANSCRIPT"
echo "$PASSED passed, $FAILED failed"
((FAILED == 0))
