#!/bin/sh
# Makes the bundled sample segments: 12 MPEG-TS pieces of one short recording
# (H.264 test pattern with a moving clock, AAC tone that beeps every second),
# 1.6 s each, named 1.ts ... 12.ts.
#
# By default every piece's clock starts again at the same low value, as when a
# recording is cut into parts that each begin at zero. With --continuous the
# pieces keep the clock of the one stream they were cut from (as HLS does).
#
#   tools/make_samples.sh [--continuous] [DIR]   write DIR/1.ts ... DIR/12.ts
#                                                 (default: samples/ of the repo)
#   tools/make_samples.sh --check [DIR]          print streams and first
#                                                 timestamps of each piece
#
# Re-running gives the same bytes with the same ffmpeg/x264 build: one thread,
# bit-exact flags, no version strings in the container.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
mode=restart
case "${1:-}" in
    --continuous) mode=continuous; shift ;;
    --check) mode=check; shift ;;
    -h|--help) sed -n '2,18p' "$0"; exit 0 ;;
esac
dir=${1:-$here/../samples}

count=12
piece=1.6                       # seconds; 40 frames at 25 fps, one GOP each
total=19.2                      # count * piece

# First PCR of a transport stream file, in seconds (perl-base is always there).
first_pcr() {
    perl -e '
        open(my $f, "<:raw", $ARGV[0]) or die "$ARGV[0]: $!\n";
        while (read($f, my $p, 188) == 188) {
            my @b = unpack("C6", $p);
            next unless $b[0] == 0x47;
            next unless ($b[3] & 0x20) && $b[4] >= 7 && ($b[5] & 0x10);
            my ($hi, $lo) = unpack("N n", substr($p, 6, 6));
            my $base = $hi * 2 + ($lo >> 15);
            my $ext = $lo & 0x1ff;
            printf "%.6f\n", ($base * 300 + $ext) / 27000000;
            exit 0;
        }
        print "none\n";' "$1"
}

# A field of the first packet of one stream, as ffprobe reads it.
first_packet() {
    ffprobe -v error -select_streams "$1" -read_intervals '%+#1' \
        -show_entries packet="$2" -of default=nw=1:nk=1 "$3" | head -n 1
}

check() {
    printf '%-7s %8s  %-11s %-10s %-10s %-10s %s\n' \
        file bytes streams video_pts video_dts audio_pts first_pcr
    i=1
    while [ "$i" -le "$count" ]; do
        f=$dir/$i.ts
        [ -f "$f" ] || { echo "missing: $f" >&2; exit 1; }
        streams=$(ffprobe -v error -show_entries stream=index,codec_name \
                  -of csv=p=0 "$f" | grep , | sort -u | cut -d, -f2 | paste -sd+ -)
        vpts=$(first_packet v:0 pts_time "$f")
        vdts=$(first_packet v:0 dts_time "$f")
        apts=$(first_packet a:0 pts_time "$f")
        printf '%-7s %8s  %-11s %-10s %-10s %-10s %s\n' "$i.ts" \
            "$(wc -c <"$f")" "$streams" "$vpts" "$vdts" "$apts" "$(first_pcr "$f")"
        i=$((i + 1))
    done
    printf 'total %d bytes\n' "$(cat "$dir"/*.ts | wc -c)"
}

if [ "$mode" = check ]; then
    check
    exit 0
fi

command -v ffmpeg >/dev/null || { echo "ffmpeg is needed" >&2; exit 1; }
if ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' libx264 '; then
    video="-c:v libx264 -preset medium -crf 30 -pix_fmt yuv420p -x264-params threads=1"
else
    video="-c:v mpeg2video -q:v 8 -pix_fmt yuv420p"
fi

case "$mode" in
    restart) reset=1 ;;
    continuous) reset=0 ;;
esac

mkdir -p "$dir"
tmp=$(mktemp -d "$dir/.make_samples.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# One encode, cut at every GOP start; the segment muxer opens a fresh
# MPEG-TS muxer per piece (PAT/PMT first, continuity counters from 0).
# shellcheck disable=SC2086
ffmpeg -hide_banner -nostdin -v error -threads 1 -fflags +bitexact \
    -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$total" \
    -f lavfi -i "sine=frequency=440:beep_factor=4:sample_rate=48000:duration=$total" \
    -map 0:v -map 1:a $video -g 40 -keyint_min 40 -sc_threshold 0 \
    -c:a aac -b:a 64k -ac 1 \
    -flags +bitexact -fflags +bitexact \
    -f segment -segment_format mpegts -segment_time "$piece" \
    -reset_timestamps "$reset" -segment_start_number 1 "$tmp/%d.ts"

made=$(find "$tmp" -name '*.ts' | wc -l)
[ "$made" -eq "$count" ] || { echo "expected $count pieces, ffmpeg made $made" >&2; exit 1; }
i=1
while [ "$i" -le "$count" ]; do
    mv -f "$tmp/$i.ts" "$dir/$i.ts"
    i=$((i + 1))
done
check
