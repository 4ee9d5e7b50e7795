#!/bin/sh
# Joins one folder of segments four ways and compares the timelines that come
# out: tsmerge's plain join, --fix-timeline, --continuous-timeline, and
# ffmpeg's concat demuxer with stream copy. For each: wall time, video DTS
# steps that go back, video and audio gaps over 1 s, the video's span, and the
# sum of the segments' own video spans for comparison.
#
#   tools/compare_timelines.sh TSMERGE FOLDER [WORKDIR]
#
# FOLDER must be absolute. Outputs go to WORKDIR (default a fresh temp dir,
# removed at the end).
set -eu

tsmerge=$1
folder=$2
work=${3:-}
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"

files=$(find "$folder" -maxdepth 1 -type f -printf '%f\n' | sort -V)
list=$work/list.txt
: >"$list"
for f in $files; do printf "file '%s/%s'\n" "$folder" "$f" >>"$list"; done

# One stream's decode timestamps (DTS, else PTS): backward steps, gaps > 1 s.
steps() {   # FILE STREAM
    ffprobe -v error -select_streams "$2" -show_entries packet=pts,dts \
        -of csv=p=0 "$1" | awk -F, '
        NF >= 2 && $1 != "" {
            t = ($2 != "" && $2 != "N/A") ? $2 : $1
            if (n++) { if (t < prev) back++; if (t - prev > 90000) gaps++ }
            prev = t
        }
        END { printf "%d %d", back, gaps }'
}
# Video span in seconds: latest PTS + duration minus earliest PTS.
span() {   # FILE
    ffprobe -v error -select_streams v:0 -show_entries packet=pts,duration \
        -of csv=p=0 "$1" | awk -F, '
        NF >= 2 && $1 != "N/A" && $1 != "" {
            if (!n++ || $1 < lo) lo = $1
            if ($1 + $2 > hi) hi = $1 + $2
        }
        END { printf "%.3f", (hi - lo) / 90000 }'
}
wall() {   # COMMAND...: seconds on stdout
    t0=$(date +%s%N); "$@" >/dev/null 2>&1; t1=$(date +%s%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.2f", (b - a) / 1e9}'
}

sum=0
for f in $files; do sum=$(awk -v s="$sum" -v d="$(span "$folder/$f")" 'BEGIN {print s + d}'); done

cat $(for f in $files; do printf '%s/%s ' "$folder" "$f"; done) >/dev/null  # warm cache
t_cat=$(wall sh -c "cat $(for f in $files; do printf '%s/%s ' "$folder" "$f"; done) >'$work/cat.ts'")
rm -f "$work/cat.ts"

printf 'folder: %s (%d files); sum of segment video spans %.3f s; cat %.2f s\n' \
    "$folder" "$(echo "$files" | wc -w)" "$sum" "$t_cat"
printf '%-24s %8s %12s %10s %10s %10s\n' method wall_s video_back video_gaps audio_gaps span_s
run() {   # LABEL OUTPUT COMMAND...
    label=$1; out=$2; shift 2
    rm -f "$out"
    t=$(wall "$@")
    set -- $(steps "$out" v:0); vb=$1; vg=$2
    set -- $(steps "$out" a:0); ag=$2
    printf '%-24s %8s %12s %10s %10s %10s\n' "$label" "$t" "$vb" "$vg" "$ag" "$(span "$out")"
    rm -f "$out"
}
run plain "$work/plain.ts" "$tsmerge" -o "$work/plain.ts" "$folder"
run --fix-timeline "$work/fix.ts" "$tsmerge" --fix-timeline -o "$work/fix.ts" "$folder"
run --continuous-timeline "$work/cont.ts" "$tsmerge" --continuous-timeline -o "$work/cont.ts" "$folder"
run "ffmpeg concat demuxer" "$work/concat.ts" ffmpeg -nostdin -v error -f concat -safe 0 \
    -i "$list" -map 0 -c copy "$work/concat.ts"
