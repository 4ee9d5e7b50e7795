#!/usr/bin/env bash
# Runs tsmerge.exe under Wine as a user would, with Windows paths (Z:\...), and checks its bytes,
# exit codes and words. The timeline modes are checked against the Linux tsmerge when it is given.
# Usage: cli_under_wine.sh TSMERGE_EXE SAMPLES_DIR WINEPREFIX [LINUX_TSMERGE]
set -uo pipefail
exe=$1 samples=$2 linux=${4:-}
export WINEPREFIX=$3 WINEDEBUG=-all
work=$(mktemp -d /tmp/tsmerge-wine-cli-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
# Runs the program; sets status, and leaves its output in $work/stdout and $work/stderr.
run() { wine "$exe" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null; status=$?; }
expect_status() {
  [ "$status" = "$1" ] || fail "$2: exit status $status, expected $1; stderr: $(cat "$work/stderr")"
}

succeeded='操作成功完成！'
bad_path='目录路径非法！请检查源文件目录是否正确。'
drive_root='您选择了磁盘根目录！程序不能处理如此多的文件，请重新选择。'

# Every timeline mode: the bytes of the Linux program (and of cat for the plain join).
cat $(for i in $(seq 1 12); do echo "$samples/$i.ts"; done) >"$work/cat.ts"
for mode in plain --fix-timeline --continuous-timeline --report; do
  options=(); [ "$mode" = plain ] || options=("$mode")
  run "${options[@]}" -o "$(winpath "$work/$mode.exe.ts")" "$(winpath "$samples")"
  expect_status 0 "$mode"
  if [ "$mode" = plain ] || [ "$mode" = --report ]; then
    cmp -s "$work/$mode.exe.ts" "$work/cat.ts" || fail "$mode: not the sources back to back"
  fi
  if [ -n "$linux" ] && [ -x "$linux" ]; then
    "$linux" "${options[@]}" -o "$work/$mode.linux.ts" "$samples" >/dev/null 2>&1
    cmp -s "$work/$mode.exe.ts" "$work/$mode.linux.ts" || fail "$mode: bytes differ from Linux"
  else
    echo "note: no Linux tsmerge given; $mode compared with cat only"
  fi
done

# Redirected output is UTF-8, the result on stdout (told, never asked), no progress line.
export LC_ALL= LC_MESSAGES= LANG=C.UTF-8
run -o "$(winpath "$work/words.ts")" "$(winpath "$samples")"
expect_status 0 "words"
grep -q '^joined 12 files' "$work/stdout" || fail "stdout: $(cat "$work/stdout")"
! grep -q $'\r' "$work/stderr" || fail "a progress line although stderr is a file"
LANG=zh_CN.UTF-8 run -f -o "$(winpath "$work/words.ts")" "$(winpath "$samples")"
expect_status 0 "Chinese words"
grep -qF "$succeeded" "$work/stdout" || fail "stdout: $(cat "$work/stdout")"
! grep -qF '是否' "$work/stdout" || fail "a question on stdout: $(cat "$work/stdout")"
export LANG=zh_CN.UTF-8

# The output exists: refused without --force and left alone, replaced with it.
printf 'keep' >"$work/existing.ts"
run -o "$(winpath "$work/existing.ts")" "$(winpath "$samples")"
expect_status 2 "existing output"
[ "$(cat "$work/existing.ts")" = keep ] || fail "existing output changed without --force"
run --force -o "$(winpath "$work/existing.ts")" "$(winpath "$samples")"
expect_status 0 "--force"
cmp -s "$work/existing.ts" "$work/cat.ts" || fail "--force: not the joined bytes"

# Folder texts the job refuses, and bad usage.
run -o "$(winpath "$work/x.ts")" '\\host\share\clips'
expect_status 1 "network path"
grep -qF "$bad_path" "$work/stderr" || fail "network path: $(cat "$work/stderr")"
run -o "$(winpath "$work/x.ts")" 'C:\'
expect_status 1 'C:\'
grep -qF "$drive_root" "$work/stderr" || fail "C:\\: $(cat "$work/stderr")"
run -o "$(winpath "$work/x.ts")"
expect_status 2 "no folder"
run --frobnicate -o "$(winpath "$work/x.ts")" "$(winpath "$samples")"
expect_status 2 "unknown option"

# A relative folder is taken from the working folder.
(cd "$(dirname "$samples")" && wine "$exe" -o "$(winpath "$work/relative.ts")" \
  "$(basename "$samples")" >/dev/null 2>&1); status=$?
expect_status 0 "relative folder"
cmp -s "$work/relative.ts" "$work/cat.ts" || fail "relative folder: not the joined bytes"

# A folder and an output whose names hold Chinese characters. Wine reads the arguments in the
# charset of the Unix locale, so that locale must exist: C.UTF-8 always does.
export LANG=C.UTF-8
mkdir -p "$work/分段 一" && cp "$samples"/*.ts "$work/分段 一/"
run -o "$(winpath "$work/合并.ts")" "$(winpath "$work/分段 一")"
expect_status 0 "Chinese names"
cmp -s "$work/合并.ts" "$work/cat.ts" || fail "Chinese names: not the joined bytes"
printf 'keep' >"$work/合并.ts"
run -o "$(winpath "$work/合并.ts")" "$(winpath "$work/分段 一")"
expect_status 2 "an existing output with a Chinese name"
[ "$(cat "$work/合并.ts")" = keep ] || fail "an existing Chinese-named output replaced without --force"

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
