#!/bin/sh
# Makes benchmark data from one short high-bitrate recording (720p25 H.264
# test pattern at about 4.5 Mbit/s, stereo AAC tone; 40 s, encoded once and
# cached), cut into 2 s MPEG-TS segments named 1.ts ... COUNT.ts.
#
#   bench/make_segments.sh [MODE] DIR [COUNT]      (COUNT defaults to 500)
#
# MODE:
#   --restart     (default) every segment's clock starts again at the same low
#                 value, as when a recording is cut into parts that each begin
#                 at zero. The 20 distinct segments of the recording are copied
#                 round and round until COUNT files exist (500 make ~590 MB).
#   --continuous  one continuous timeline, as HLS writes it: the recording is
#                 looped (timestamps carried on) and cut, every segment distinct.
#   --wrap        like --continuous, but the 33-bit clock passes its wrap about
#                 a third of the way in.
#   --big         DIR/1.ts alone, one file of at least COUNT MiB (default 3072)
#                 made of restarting segments back to back.
#
# DIR must not exist yet: it is built beside itself and renamed into place when
# complete, so an existing DIR always holds a whole set. The cached recording
# lives in $TSMERGE_BENCH_CACHE (default bench/data/cache).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
cache=${TSMERGE_BENCH_CACHE:-$here/data/cache}

mode=restart
case "${1:-}" in
    --restart|--continuous|--wrap|--big) mode=${1#--}; shift ;;
    -h|--help) sed -n '2,24p' "$0"; exit 0 ;;
    -*) echo "unknown mode: $1" >&2; exit 2 ;;
esac
[ $# -ge 1 ] || { sed -n '2,24p' "$0" >&2; exit 2; }
dir=$1
if [ "$mode" = big ]; then count=${2:-3072}; else count=${2:-500}; fi
case "$count" in ''|*[!0-9]*|0) echo "COUNT must be a positive number" >&2; exit 2 ;; esac
[ ! -e "$dir" ] || { echo "$dir exists already; remove it to rebuild" >&2; exit 1; }

seconds=40                      # length of the recording
piece=2                         # seconds per segment; one 50-frame GOP
distinct=$((seconds / piece))
master=$cache/master-720p-${seconds}s.ts
pieces=$cache/restart-${piece}s

# The recording, encoded once. The tone is cut 1024 samples short so that the
# AAC priming frame makes the audio exactly as long as the video: a looped copy
# then runs on without overlap.
make_master() {
    [ -f "$master" ] && return 0
    mkdir -p "$cache"
    echo "encoding the $seconds s recording (once) ..." >&2
    ffmpeg -hide_banner -nostdin -v error -y -threads 2 -fflags +bitexact \
        -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$seconds" \
        -f lavfi -i "sine=frequency=1000:beep_factor=2:sample_rate=48000" \
        -map 0:v -map 1:a \
        -c:v libx264 -preset ultrafast -b:v 4400k -maxrate 4400k -bufsize 4400k \
        -pix_fmt yuv420p -g 50 -keyint_min 50 -sc_threshold 0 \
        -af "atrim=end_sample=$((seconds * 48000 - 1024))" \
        -c:a aac -b:a 128k -ac 2 \
        -flags +bitexact -f mpegts "$master.part"
    mv "$master.part" "$master"
}

# The recording cut into segments whose clocks each start again.
make_pieces() {
    [ -d "$pieces" ] && return 0
    make_master
    rm -rf "$pieces.part"
    mkdir -p "$pieces.part"
    ffmpeg -hide_banner -nostdin -v error -i "$master" -map 0 -c copy \
        -fflags +bitexact -f segment -segment_format mpegts \
        -segment_time "$piece" -reset_timestamps 1 -segment_start_number 1 \
        "$pieces.part/%d.ts"
    n=$(find "$pieces.part" -name '*.ts' | wc -l)
    [ "$n" -eq "$distinct" ] || { echo "expected $distinct segments, got $n" >&2; exit 1; }
    mv "$pieces.part" "$pieces"
}

# Cut the looped recording into COUNT segments of one timeline, shifted by
# $1 seconds.
make_looped() {
    make_master
    loops=$(( (count * piece + seconds - 1) / seconds - 1 ))
    ffmpeg -hide_banner -nostdin -v error -stream_loop "$loops" -i "$master" \
        -map 0 -c copy -t $((count * piece)) -output_ts_offset "$1" \
        -fflags +bitexact -f segment -segment_format mpegts \
        -segment_time "$piece" -segment_start_number 1 "$tmp/%d.ts"
}

parent=$(dirname "$dir")
mkdir -p "$parent"
tmp=$(mktemp -d "$parent/.make_segments.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

case "$mode" in
    restart)
        make_pieces
        i=1
        while [ "$i" -le "$count" ]; do
            cp "$pieces/$(( (i - 1) % distinct + 1 )).ts" "$tmp/$i.ts"
            i=$((i + 1))
        done
        ;;
    continuous)
        make_looped 0
        ;;
    wrap)
        # The clock wraps at 2^33 ticks of 90 kHz, 95443.717 s; the recording
        # starts at about 1.4 s.
        make_looped $((95443 - count * piece / 3))
        ;;
    big)
        make_pieces
        lap=$tmp/lap
        i=1
        while [ "$i" -le "$distinct" ]; do
            cat "$pieces/$i.ts" >>"$lap"
            i=$((i + 1))
        done
        want=$((count * 1024 * 1024))
        size=0
        while [ "$size" -lt "$want" ]; do
            cat "$lap" >>"$tmp/1.ts"
            size=$(wc -c <"$tmp/1.ts")
        done
        rm -f "$lap"
        ;;
esac

if [ "$mode" != big ]; then
    n=$(find "$tmp" -name '*.ts' | wc -l)
    [ "$n" -eq "$count" ] || { echo "expected $count segments, got $n" >&2; exit 1; }
fi
mv "$tmp" "$dir"
trap - EXIT
chmod 755 "$dir"
printf '%s: %d files, %d bytes (%s)\n' "$dir" "$(find "$dir" -type f | wc -l)" \
    "$(find "$dir" -type f -printf "%s\n" | awk "{s += \$1} END {printf \"%d\", s}")" "$mode" >&2
