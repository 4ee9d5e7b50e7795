#!/bin/bash
# Runs the real tsmerge-gui under a virtual X server: checks that the window comes up centred,
# types a folder into it, takes a picture of it, closes it with Escape and checks exit code 0.
# A second instance runs beside the first and is closed on its own.
#
#   screenshot.sh PROGRAM [PICTURE]
#
# Needs Xvfb, xdpyinfo, xdotool and ImageMagick's import.
set -euo pipefail

program=$1
picture=${2:-window.png}
work=$(mktemp -d)
xvfb=
cleanup() {
  if [[ -n $xvfb ]]; then
    # Wait for the server to be gone, so that the next run cannot meet its socket and lock file.
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "screenshot.sh: $*" >&2
  if [[ -n $xvfb ]] && ! kill -0 "$xvfb" 2>/dev/null; then
    echo "screenshot.sh: the X server has gone: $(cat "$work/xvfb.log")" >&2
  fi
  exit 1
}

# A free display number, chosen by the server itself; no reset when a client leaves, so that the
# check below cannot catch the server in the middle of one.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -n1 "$work/display")
for _ in $(seq 100); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || fail "cannot connect to the virtual display $DISPLAY"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

# Starts the program; sets pid and window once its window is mapped.
start() {
  "$program" 2>>"$work/program.log" &
  pid=$!
  window=
  for _ in $(seq 100); do
    window=$(xdotool search --all --onlyvisible --pid "$pid" --name '^文件合并$' 2>/dev/null | head -n1) || true
    [[ -n $window ]] && break
    sleep 0.1
  done
  [[ -n $window ]] || fail "no window from $program: $(cat "$work/program.log")"
}

# The window must be centred on the 800 x 600 screen (there is no window manager, so no frame).
checkCentred() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  (( X == (800 - WIDTH) / 2 && Y == (600 - HEIGHT) / 2 )) ||
    fail "window at $X,$Y size ${WIDTH}x$HEIGHT is not centred"
  echo "window ${WIDTH}x$HEIGHT at $X,$Y"
}

# Escape closes the window; the program must end with exit code 0.
closeWithEscape() {
  local pid=$1 window=$2
  xdotool windowfocus --sync "$window"
  # The toolkit activates the window a moment after it gets the input focus.
  sleep 1
  xdotool key Escape
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    fail "Escape did not close window $window of process $pid (focus: $(xdotool getwindowfocus 2>/dev/null))"
  fi
  local code=0
  wait "$pid" || code=$?
  (( code == 0 )) || fail "exit code $code after Escape"
  echo "closed with Escape, exit code 0"
}

start
first=$pid firstWindow=$window
checkCentred "$firstWindow"

# Tab passes the disabled merge button and lands in the folder box.
xdotool windowfocus --sync "$firstWindow"
sleep 0.5
xdotool key Tab
xdotool type --delay 20 '/home/user/videos/segments'
sleep 1
import -window "$firstWindow" "$picture"
echo "picture: $picture"

# A second instance beside the first, closed on its own.
start
second=$pid secondWindow=$window
checkCentred "$secondWindow"
closeWithEscape "$second" "$secondWindow"
kill -0 "$first" 2>/dev/null || fail "closing the second instance ended the first"
closeWithEscape "$first" "$firstWindow"
