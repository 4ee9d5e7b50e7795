#!/bin/bash
# Runs a command on a virtual X server with the openbox window manager, as on a desktop: the
# server and the manager are started first and stopped afterwards; the command's exit code is
# this script's.
#
#   desktop_session.sh COMMAND [ARGUMENT...]
#
# Needs Xvfb, openbox and xprop.
set -euo pipefail

work=$(mktemp -d)
xvfb= manager=
cleanup() {
  for pid in $manager $xvfb; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "desktop_session.sh: $*" >&2
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
[[ -s $work/display ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -n1 "$work/display")
unset WAYLAND_DISPLAY

openbox --sm-disable >"$work/openbox.log" 2>&1 &
manager=$!
# The manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  kill -0 "$manager" 2>/dev/null || fail "openbox ended: $(cat "$work/openbox.log")"
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
  fail "openbox did not start: $(cat "$work/openbox.log")"

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
"$@"
