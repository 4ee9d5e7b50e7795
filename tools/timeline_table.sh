#!/usr/bin/env bash
# Joins every segment shape three ways — tsmerge's plain join, tsmerge --continuous-timeline and
# ffmpeg's concat demuxer with stream copy — and prints what each reader makes of each output:
#
#   tools/timeline_table.sh [BUILD_DIR] [SHAPES_DIR]     (defaults: build, a fresh temp folder)
#
# Shapes are made by tools/make_shapes.sh when SHAPES_DIR holds none. Columns:
#   sum_s     the sum of the segments' own spans (ffprobe: the video's earliest PTS to its last PTS
#             plus duration; the audio's when there is no video);  span_s  the output's, alike
#   all_s     the output's span over all streams;  dts_back  decode timestamps that step back (all streams)
#   pcr_back  PCRs that step back;  cc  continuity-counter breaks;  gaps  steps leaving more than
#             a frame free (largest in seconds);  off_err  largest change of a stream's offset to
#             the video against its source, per segment (seconds)
#   ff_msgs   lines from ffmpeg -v error decoding it all
#   gst       RESET / discontinuity warnings of tsdemux;  gst_s  gst-discoverer-1.0's duration
#   mkv       warnings and errors of mkvmerge -J and a remux to Matroska;  mkv_s  the MKV's duration
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
shapes=${2:-}
tsmerge=$build/bin/tsmerge
judge=$build/bin/judge_ts
[ -x "$tsmerge" ] && [ -x "$judge" ] || { echo "build tsmerge and judge_ts first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "$shapes" ]; then shapes=$work/shapes; fi
[ -f "$shapes/shapes.txt" ] || bash tools/make_shapes.sh "$shapes" >&2
shapes=$(cd "$shapes" && pwd)

field() { tr ' ' '\n' <<<"$1" | sed -n "s/^$2=//p"; }
row() {   # SHAPE METHOD SUM JUDGE_LINE
  local j=$4
  printf '%-12s %-11s %7s %7s %7s %8s %8s %4s %4s/%-6s %7s %7s %5s/%-3s %7s %3s %7s\n' "$1" "$2" \
    "$3" "$(field "$j" ref_span)" "$(field "$j" span)" "$(field "$j" dts_back)" "$(field "$j" pcr_back)" \
    "$(field "$j" cc_breaks)" "$(field "$j" gaps)" "$(field "$j" largest_gap)" \
    "$(field "$j" offset_err || true)" "$(field "$j" ffmpeg_msgs)" \
    "$(field "$j" gst_resets)" "$(field "$j" gst_discont)" "$(field "$j" gst_duration)" \
    "$(field "$j" mkv_warnings)" "$(field "$j" mkv_duration)"
}

printf '%-12s %-11s %7s %7s %7s %8s %8s %4s %11s %7s %7s %9s %7s %3s %7s\n' shape method sum_s \
  span_s all_s dts_back pcr_back cc gaps off_err ff_msgs gst gst_s mkv mkv_s
while read -r name clock bad; do
  folder=$shapes/$name
  files=()
  while IFS= read -r f; do files+=("$folder/$f"); done < <(ls "$folder" | sort -V)
  # What a timeline option keeps: whole transport streams, a cut one less its partial packet.
  plainSources=() keptSources=() keptFiles=() list=$work/$name.list
  : >"$list"
  for f in "${files[@]}"; do
    size=$(stat -c %s "$f")
    plainSources+=("$f:$size")
    case ",$bad," in
      *",$(basename "$f"):not-ts,"* | *",$(basename "$f"):empty,"*) continue ;;
    esac
    keptSources+=("$f:$((size - size % 188))")
    keptFiles+=("$f")
    printf "file '%s'\n" "$f" >>"$list"
  done
  sum=$("$judge" --span "${keptFiles[@]}")

  "$tsmerge" -o "$work/plain.ts" "$folder" >/dev/null 2>&1 || true
  row "$name" plain "$sum" "$("$judge" "$work/plain.ts" "${plainSources[@]}")"
  "$tsmerge" --continuous-timeline -o "$work/cont.ts" "$folder" >/dev/null 2>&1 || true
  row "$name" continuous "$sum" "$("$judge" "$work/cont.ts" "${keptSources[@]}")"
  ffmpeg -nostdin -v quiet -f concat -safe 0 -i "$list" -map 0 -c copy -f mpegts \
    "$work/concat.ts" || true
  row "$name" concat "$sum" "$("$judge" "$work/concat.ts")"
  rm -f "$work/plain.ts" "$work/cont.ts" "$work/concat.ts"
done <"$shapes/shapes.txt"
