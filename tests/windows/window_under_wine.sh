#!/usr/bin/env bash
# Runs tsmerge-gui.exe under Wine on a virtual X server as a user would: the window opens
# captioned "文件合并" with its Chinese texts, a folder is typed in, the samples are merged
# through the save dialog, the success box is answered Cancel, and Escape closes the window with
# exit code 0. Leaves a screenshot of the window at SCREENSHOT.
# Usage: window_under_wine.sh TSMERGE_GUI_EXE SAMPLES_DIR WINEPREFIX SCREENSHOT
set -uo pipefail
exe=$1 samples=$2 shot=$4
export WINEPREFIX=$3 WINEDEBUG=-all LANG=C.UTF-8
work=$(mktemp -d /tmp/tsmerge-wine-window-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
die() { echo "FAIL: $*"; exit 1; }

# The prefix gets a CJK font in place of the dialogs' Tahoma, and Wine draws the window frames
# itself (there is no window manager).
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"
cjk=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei' 2>/dev/null)
[ -f "$cjk" ] || cjk=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -f "$cjk" ] || die "no CJK font (fonts-wqy-microhei)"
ln -sf "$cjk" "$fonts/"
[ -f /usr/share/wine/fonts/marlett.ttf ] && ln -sf /usr/share/wine/fonts/marlett.ttf "$fonts/"
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Tahoma /d 'WenQuanYi Micro Hei' /f \
  >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# Those commands started the prefix's server and desktop with no display; let them end, so the
# window's start brings up a desktop on the virtual X server below.
wineserver -w

exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

(wine "$exe"; echo $? >"$work/exit") >/dev/null 2>&1 &
pids+=($!)

# Waits up to 60 s for a window of this caption; prints its id.
window() {
  local id
  for _ in $(seq 120); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.5
  done
  return 1
}
keys() { sleep 0.5; xdotool key --delay 100 "$@"; }

main=$(window '文件合并') || die "the window \"文件合并\" did not open"
sleep 2
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot" ||
  die "no screenshot"

# The focus starts on 按钮1; 按钮2 is disabled, so Tab goes to the folder box.
xdotool windowfocus "$main"
keys Tab
sleep 0.5
xdotool type --delay 30 "$(winpath "$samples")"
# Typing enabled 按钮2: Shift+Tab reaches it, Space presses it and the save dialog opens.
keys shift+Tab space
dialog=$(window 'Save As') || die "no save dialog"
sleep 1
xdotool type --delay 30 "$(winpath "$work/joined.ts")"
keys Return
box=$(window '信息：') || die "no message box after the merge"
# Cancel: the output's folder is not opened.
xdotool windowfocus "$box"
keys Escape
sleep 1
cat $(for i in $(seq 1 12); do echo "$samples/$i.ts"; done) | cmp -s - "$work/joined.ts" ||
  die "the joined file is not the samples back to back"

# Escape closes the window also from the folder box, which otherwise takes every key.
xdotool windowfocus "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 40)) $((Y + HEIGHT / 2 - 5)) click 1
keys Escape
for _ in $(seq 40); do [ -s "$work/exit" ] && break; sleep 0.5; done
[ "$(cat "$work/exit" 2>/dev/null)" = 0 ] || die "exit code $(cat "$work/exit" 2>/dev/null)"
echo "window test passed"
