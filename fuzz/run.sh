#!/usr/bin/env bash
# Builds the libFuzzer target fuzz_correct_buffer with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in a build folder of its own, and runs it for a bounded time.
#
#   bash fuzz/run.sh [SECONDS]     default 60
#
# Exits non-zero when the build fails or the fuzzer finds anything (crash, sanitizer report,
# mismatch, timeout, out of memory); the input that did it is left in BUILD/artifacts/ and can be
# replayed with BUILD/bin/fuzz_correct_buffer FILE. BUILD is build-fuzz/ of the repository, or
# $TSMERGE_FUZZ_BUILD_DIR; the compiler is clang++-14, or $TSMERGE_FUZZ_CXX.
set -euo pipefail

seconds=${1:-60}
case $seconds in
  '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TSMERGE_FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=${TSMERGE_FUZZ_CXX:-clang++-14}
command -v "$cxx" >/dev/null || { echo "$0: $cxx is needed (Debian package clang-14)" >&2; exit 1; }

generator=()
if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTSMERGE_FUZZ=ON -DTSMERGE_BUILD_TESTS=OFF -DTSMERGE_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target fuzz_correct_buffer

mkdir -p "$build/corpus" "$build/artifacts" "$build/seeds"
# Seeds from the bundled segments: an 18-byte header (see fuzz_correct_buffer.cpp) and packets.
packets() { dd if="$root/samples/$1" bs=188 skip="$2" count="$3" status=none; }
header() { printf "\\$(printf %03o "$1")"; head -c 16 /dev/zero; printf "\\$(printf %03o "$2")"; }
if [ -f "$root/samples/1.ts" ] && [ -f "$root/samples/2.ts" ]; then
  { header 4 20; packets 1.ts 0 20; packets 2.ts 0 20; } >"$build/seeds/two-files"
  { header 1 0; packets 1.ts 30 40; } >"$build/seeds/rebasing"
  { header 2 0; packets 2.ts 0 40; } >"$build/seeds/pass-through"
fi
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
echo "fuzzing correctBuffer for $seconds s"
"$build/bin/fuzz_correct_buffer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -max_len=8192 -dict="$root/fuzz/correct_buffer.dict" -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$build/corpus" "$build/seeds"
echo "fuzz_correct_buffer: no finding in $seconds s"
