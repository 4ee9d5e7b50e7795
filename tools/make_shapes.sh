#!/usr/bin/env bash
# Makes folders of transport-stream segments in the shapes that muxers and downloads leave, each
# into OUTDIR/NAME/, and lists them in OUTDIR/shapes.txt, one line each:
#
#   NAME CLOCK SOURCES
#
# CLOCK is "restarts" (each segment's clock starts again) or "runs-on" (the clock already runs on
# across the segments, so a seamless join changes nothing but continuity counters). SOURCES is
# "all", or the names of the files that are not whole transport streams, comma-separated, as
# "name:reason" (reason: not-ts, empty, partial-packet).
#
#   tools/make_shapes.sh OUTDIR [NAME...]
#
# Small and quick (a few seconds on two cores) and deterministic: bit-exact encoders, one thread.
# Needs ffmpeg (without it, nothing is made and shapes.txt is absent); the GStreamer shape is made only when gst-launch-1.0 and its elements are there.
set -euo pipefail

out=${1:?usage: make_shapes.sh OUTDIR [NAME...]}
shift
wanted=" ${*:-} "
mkdir -p "$out"
out=$(cd "$out" && pwd)
manifest=$out/shapes.txt
rm -f "$manifest"
if ! command -v ffmpeg >/dev/null; then
  echo "make_shapes: ffmpeg is missing: no shapes made" >&2
  exit 0
fi

ff() { ffmpeg -nostdin -v error -y "$@"; }
exact=(-fflags +bitexact -flags +bitexact -threads 1)
# 25 fps H.264 with B-frames and a key frame every second, AAC at 48 kHz: what most segmenters get.
h264=(-c:v libx264 -preset ultrafast -bf 2 -g 25 -keyint_min 25 -sc_threshold 0 -x264-params
      threads=1)
aac=(-c:a aac -b:a 32k -ac 1)
segments=(-f segment -segment_format mpegts -segment_time 1 -segment_start_number 1)
testsrc() { echo "testsrc2=size=160x90:rate=${2:-25}:duration=$1"; }
sine() { echo "sine=frequency=440:sample_rate=48000:duration=$1"; }

want() { [[ $wanted == "  " || $wanted == *" $1 "* ]]; }
begin() { rm -rf "${out:?}/$1"; mkdir -p "$out/$1"; }
record() { echo "$1 $2 ${3:-all}" >>"$manifest"; }

# Six 1 s segments whose clocks each start again, as ffmpeg's segment muxer with reset timestamps.
if want restart; then
  begin restart
  ff -f lavfi -i "$(testsrc 6)" -f lavfi -i "$(sine 6)" -map 0:v -map 1:a "${h264[@]}" "${aac[@]}" \
    "${exact[@]}" "${segments[@]}" -reset_timestamps 1 "$out/restart/%d.ts"
  record restart restarts
fi

# The same with one clock running on across the segments.
if want continuous; then
  begin continuous
  ff -f lavfi -i "$(testsrc 6)" -f lavfi -i "$(sine 6)" -map 0:v -map 1:a "${h264[@]}" "${aac[@]}" \
    "${exact[@]}" "${segments[@]}" -reset_timestamps 0 "$out/continuous/%d.ts"
  record continuous runs-on
fi

# A running clock that passes the 33-bit wrap (95443.7 s) inside segment 2: 95441 s plus the
# muxer's 1.4 s delay.
if want wrap; then
  begin wrap
  ff -f lavfi -i "$(testsrc 6)" -f lavfi -i "$(sine 6)" -map 0:v -map 1:a "${h264[@]}" "${aac[@]}" \
    "${exact[@]}" "${segments[@]}" -reset_timestamps 0 -output_ts_offset 95441 "$out/wrap/%d.ts"
  record wrap runs-on
fi

# Audio only: AAC, restarting clocks. ffmpeg packs many AAC frames into one PES, and a segment's
# last PES holds fewer of them.
if want aac; then
  begin aac
  ff -f lavfi -i "$(sine 6.2)" -c:a aac -b:a 64k -ac 2 "${exact[@]}" \
    -f segment -segment_format mpegts -segment_time 1.28 -segment_start_number 1 \
    -reset_timestamps 1 "$out/aac/%d.ts"
  record aac restarts
fi

# MPEG-2 video and MPEG-1 layer II audio at a constant bit rate, padded to a constant mux rate:
# the PCR runs ahead of the DTS by a different amount in each segment.
if want mpeg2-cbr; then
  begin mpeg2-cbr
  ff -f lavfi -i "$(testsrc 3.9)" -f lavfi -i "$(sine 3.9)" -map 0:v -map 1:a \
    -c:v mpeg2video -b:v 600k -minrate 600k -maxrate 600k -bufsize 300k -g 25 -bf 2 \
    -c:a mp2 -b:a 128k -ac 2 "${exact[@]}" "${segments[@]}" \
    -segment_format_options muxrate=1000000 -reset_timestamps 1 "$out/mpeg2-cbr/%d.ts"
  record mpeg2-cbr restarts
fi

# Every segment made on its own: its audio starts 0.3 s before its video and both end together.
if want audio-early; then
  begin audio-early
  for i in 1 2 3 4; do
    ff -f lavfi -i "$(sine 1.3)" -itsoffset 0.3 -f lavfi -i "$(testsrc 1)" -map 1:v -map 0:a \
      "${h264[@]}" "${aac[@]}" "${exact[@]}" -f mpegts "$out/audio-early/$i.ts"
  done
  record audio-early restarts
fi

# Three segments at 25 fps, then three at 30 fps (an advertisement break), clocks restarting.
if want fps-change; then
  begin fps-change
  ff -f lavfi -i "$(testsrc 3 25)" -f lavfi -i "$(sine 3)" -map 0:v -map 1:a "${h264[@]}" \
    "${aac[@]}" "${exact[@]}" "${segments[@]}" -reset_timestamps 1 "$out/fps-change/%d.ts"
  ff -f lavfi -i "$(testsrc 3 30)" -f lavfi -i "$(sine 3)" -map 0:v -map 1:a "${h264[@]}" \
    -g 30 -keyint_min 30 "${aac[@]}" "${exact[@]}" "${segments[@]}" -segment_start_number 4 \
    -reset_timestamps 1 "$out/fps-change/%d.ts"
  record fps-change restarts
fi

# An HLS recording from ffmpeg's HLS muxer: one clock across the segments (playlist kept aside).
if want hls; then
  begin hls
  ff -f lavfi -i "$(testsrc 8)" -f lavfi -i "$(sine 8)" -map 0:v -map 1:a "${h264[@]}" "${aac[@]}" \
    "${exact[@]}" -f hls -hls_time 1 -hls_list_size 0 -start_number 1 \
    -hls_segment_filename "$out/hls/%d.ts" "$out/hls.m3u8"
  record hls runs-on
fi

# An HLS recording from GStreamer's hlssink2 (its own muxer, segments numbered from 0).
if want hls-gst; then
  if command -v gst-launch-1.0 >/dev/null &&
    gst-inspect-1.0 openh264enc >/dev/null 2>&1 && gst-inspect-1.0 voaacenc >/dev/null 2>&1 &&
    gst-inspect-1.0 hlssink2 >/dev/null 2>&1; then
    begin hls-gst
    # gst-launch-1.0 may hang at its end after the playlist is complete: bounded, and judged by
    # the playlist's end tag.
    timeout -s KILL 120 gst-launch-1.0 -q videotestsrc num-buffers=200 \
      ! video/x-raw,width=176,height=144,framerate=25/1 ! openh264enc gop-size=25 ! h264parse \
      ! hlssink2 name=sink location="$out/hls-gst/%d.ts" playlist-location="$out/hls-gst.m3u8" \
        target-duration=1 max-files=1000 playlist-length=0 \
      audiotestsrc num-buffers=375 samplesperbuffer=1024 ! audio/x-raw,rate=48000 ! voaacenc \
      ! aacparse ! sink.audio >/dev/null 2>&1 </dev/null || true
    if grep -q '#EXT-X-ENDLIST' "$out/hls-gst.m3u8" 2>/dev/null; then
      record hls-gst runs-on
    else
      echo "make_shapes: GStreamer's hlssink2 did not finish: no hls-gst" >&2
    fi
  else
    echo "make_shapes: GStreamer with openh264enc, voaacenc and hlssink2 is missing: no hls-gst" >&2
  fi
fi

# A running clock with segment 4 of 6 missing: the gap is real and stays.
if want missing; then
  begin missing
  ff -f lavfi -i "$(testsrc 6)" -f lavfi -i "$(sine 6)" -map 0:v -map 1:a "${h264[@]}" "${aac[@]}" \
    "${exact[@]}" "${segments[@]}" -reset_timestamps 0 "$out/missing/%d.ts"
  rm "$out/missing/4.ts"
  record missing runs-on
fi

# Restarting segments among what downloads leave: an HTML error page saved as 3.ts, a 0-byte 5.ts
# and a 6.ts cut in the middle of a packet.
if want junk; then
  begin junk
  ff -f lavfi -i "$(testsrc 7)" -f lavfi -i "$(sine 7)" -map 0:v -map 1:a "${h264[@]}" "${aac[@]}" \
    "${exact[@]}" "${segments[@]}" -reset_timestamps 1 "$out/junk/%d.ts"
  printf '<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n<body><h1>Not Found</h1></body></html>\n' \
    >"$out/junk/3.ts"
  : >"$out/junk/5.ts"
  size=$(stat -c %s "$out/junk/6.ts")
  truncate -s $((size - 100)) "$out/junk/6.ts"
  record junk restarts "3.ts:not-ts,5.ts:empty,6.ts:partial-packet"
fi
