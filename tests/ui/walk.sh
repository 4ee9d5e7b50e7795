#!/bin/bash
# A user's walk through the real tsmerge-gui under a window manager, by keyboard only: start,
# tick the continuous-timeline box, type the folder, merge, name the output in the save dialog,
# read the success message, close with Escape. A picture of the screen is taken at each step, and
# the output must equal what `tsmerge --continuous-timeline` writes for the same folder.
#
#   desktop_session.sh walk.sh GUI TSMERGE SAMPLES PICTURES
#
# Needs xdotool and ImageMagick's import; runs on the display desktop_session.sh started.
set -euo pipefail

gui=$1 tsmerge=$2 samples=$3 pictures=$4
work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "walk.sh: $*" >&2
  [[ -s $work/program.log ]] && echo "walk.sh: program said: $(cat "$work/program.log")" >&2
  exit 1
}

mkdir -p "$pictures" "$work/my segments" "$work/out"
cp "$samples"/*.ts "$work/my segments/"
folder="$work/my segments"
output="$work/out/all parts.ts"

# Waits for a visible window of the program whose title matches; prints its id.
waitForWindow() {
  local title=$1 id=
  for _ in $(seq 150); do
    id=$(xdotool search --all --onlyvisible --pid "$pid" --name "$title" 2>/dev/null | head -n1) || true
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

picture() {
  sleep 0.5
  import -window root "$pictures/$1.png"
  echo "picture: $pictures/$1.png"
}

key() {
  xdotool key --delay 80 "$@"
}

"$gui" 2>>"$work/program.log" &
pid=$!
window=$(waitForWindow '^文件合并$') || fail "the window did not show"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 1
picture 1-start

# The focus starts on 按钮1; 按钮2 is disabled, so Tab goes to the folder box, then the boxes.
key Tab
xdotool type --delay 20 "$folder"
key Tab Tab space
picture 2-continuous-ticked

# Back to 按钮2 (选择框1, 编辑框1, 按钮2) and press it.
key shift+Tab shift+Tab shift+Tab space
dialog=$(waitForWindow '^(Save As|另存为|保存为)') || fail "no save dialog"
sleep 1
# The file-name entry has the focus.
xdotool type --delay 20 "$output"
picture 3-save-dialog
key Return

message=$(waitForWindow '^信息：$') || fail "no result message"
picture 4-success
xdotool windowactivate --sync "$message" 2>/dev/null || true
# Escape answers Cancel: the output folder is not opened.
key Escape
sleep 0.5

"$tsmerge" --continuous-timeline -o "$work/out/command-line.ts" "$folder" >/dev/null
cmp "$output" "$work/out/command-line.ts" || fail "the window's output differs from tsmerge --continuous-timeline"
cmp -s "$output" <(cat "$folder"/{1..12}.ts) && fail "the output is the plain join"
echo "output equals tsmerge --continuous-timeline"

xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
sleep 0.5
key Escape
for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "Escape did not close the window"
code=0
wait "$pid" || code=$?
pid=
(( code == 0 )) || fail "exit code $code"
echo "closed with Escape, exit code 0"
