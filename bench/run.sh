#!/usr/bin/env bash
# Times tsmerge against cat on the same folder, in one run, on the warm cache,
# and measures tsmerge's peak memory on a folder holding one 3 GiB source.
#
#   bench/run.sh [TSMERGE] [DATA_DIR]
#
# TSMERGE defaults to build/bin/tsmerge, DATA_DIR to bench/data (both relative
# to the repository). Missing data is made with bench/make_segments.sh.
# Settings (environment): RUNS (timed rounds, default 5), COUNT (segments,
# default 500), BIG_MIB (size of the single source, default 3072), SET
# (restart | continuous | wrap: which kind of segments, default restart),
# SKIP_BIG=1 to leave out the memory part.
#
# This builds nothing; build tsmerge first.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)

# The tsmerge modes compared with cat: one line each, "label|flags".
# A mode whose flags the binary rejects as bad usage is skipped.
MODES='
plain|
fix-timeline|--fix-timeline
continuous-timeline|--continuous-timeline
'

tsmerge=${1:-$root/build/bin/tsmerge}
data=${2:-$here/data}
runs=${RUNS:-5}
count=${COUNT:-500}
big_mib=${BIG_MIB:-3072}
set_kind=${SET:-restart}

die() { echo "bench: $*" >&2; exit 1; }

[ -x "$tsmerge" ] || die "no tsmerge at $tsmerge (build it first)"
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (apt-get install -y time)"
tsmerge=$(cd "$(dirname "$tsmerge")" && pwd)/$(basename "$tsmerge")
mkdir -p "$data"
data=$(cd "$data" && pwd)         # tsmerge takes absolute folders only

segments=$data/segments-$set_kind-$count
big=$data/big-$big_mib
out=$data/out
mkdir -p "$out"

[ -d "$segments" ] || "$here/make_segments.sh" "--$set_kind" "$segments" "$count"
if [ "${SKIP_BIG:-0}" != 1 ] && [ ! -d "$big" ]; then
    "$here/make_segments.sh" --big "$big" "$big_mib"
fi

# The folder's files in natural order, for cat.
mapfile -t files < <(find "$segments" -maxdepth 1 -type f -printf '%f\n' | sort -V)
files=("${files[@]/#/$segments/}")
bytes=$(cat "${files[@]}" | wc -c)   # also reads them all once: warm cache

now() { date +%s%N; }

# Which modes does this binary accept? Probe each on a one-file folder.
probe=$data/probe
if [ ! -d "$probe" ]; then
    mkdir -p "$probe.part"
    head -c $((188 * 1000)) "${files[0]}" >"$probe.part/1.ts"
    mv "$probe.part" "$probe"
fi
labels=()
flagsets=()
while IFS='|' read -r label flags; do
    [ -n "$label" ] || continue
    rm -f "$out/probe.ts"
    rc=0
    # shellcheck disable=SC2086
    "$tsmerge" $flags -o "$out/probe.ts" "$probe" >/dev/null 2>"$out/probe.err" || rc=$?
    if [ "$rc" -eq 2 ]; then
        echo "skipped mode '$label': tsmerge rejects '$flags' ($(head -n 1 "$out/probe.err"))"
        continue
    elif [ "$rc" -ne 0 ]; then
        die "tsmerge $flags failed on $probe (exit $rc): $(head -n 1 "$out/probe.err")"
    fi
    labels+=("$label")
    flagsets+=("$flags")
done <<<"$MODES"
rm -f "$out/probe.ts" "$out/probe.err"
[ "${#labels[@]}" -gt 0 ] || die "no mode to time"

# One timed command: nanoseconds on stdout. The output is removed and the
# disk flushed first, outside the timing, so no run pays for another's writes.
time_cat() {
    rm -f "$out/cat.ts"; sync
    local t0; t0=$(now)
    cat "${files[@]}" >"$out/cat.ts"
    echo $(( $(now) - t0 ))
}
time_tsmerge() {   # index into labels/flagsets
    local dest=$out/tsmerge-${labels[$1]}.ts rc=0
    rm -f "$dest"; sync
    local t0; t0=$(now)
    # shellcheck disable=SC2086
    "$tsmerge" ${flagsets[$1]} -o "$dest" "$segments" >/dev/null 2>"$out/tsmerge.err" || rc=$?
    local t1; t1=$(now)
    [ "$rc" -eq 0 ] || die "tsmerge ${flagsets[$1]} exited $rc: $(head -n 1 "$out/tsmerge.err")"
    echo $(( t1 - t0 ))
}

median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
secs() { awk -v ns="$1" 'BEGIN {printf "%.3f", ns / 1e9}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", a / b}'; }
mbps() { awk -v b="$bytes" -v ns="$1" 'BEGIN {printf "%.0f", b / 1048576 / (ns / 1e9)}'; }

echo "tsmerge:  $tsmerge"
echo "folder:   $segments ($(( ${#files[@]} )) files, $bytes bytes, $set_kind clocks)"
echo "rounds:   $runs, interleaved (cat and each mode in turn), warm cache, output in $out"
echo

# Interleaved rounds: every round times cat and each mode once, starting one
# further along each round so that no command always runs first.
cat_times=()
declare -A mode_times
commands=$(( ${#labels[@]} + 1 ))
for ((r = 0; r < runs; r++)); do
    for ((k = 0; k < commands; k++)); do
        c=$(( (r + k) % commands ))
        if [ "$c" -eq 0 ]; then
            cat_times+=("$(time_cat)")
        else
            mode_times[$((c - 1))]+=" $(time_tsmerge $((c - 1)))"
        fi
    done
done

cat_med=$(median "${cat_times[@]}")
cat_best=$(best "${cat_times[@]}")

printf '%-32s %10s %10s %8s %12s %12s\n' command median_s best_s MiB/s ratio_median ratio_best
printf '%-32s %10s %10s %8s %12s %12s\n' cat "$(secs "$cat_med")" "$(secs "$cat_best")" \
    "$(mbps "$cat_med")" - -
for i in "${!labels[@]}"; do
    # shellcheck disable=SC2086
    set -- ${mode_times[$i]}
    med=$(median "$@")
    bst=$(best "$@")
    name="tsmerge ${flagsets[$i]}"
    printf '%-32s %10s %10s %8s %12s %12s\n' "$name" "$(secs "$med")" "$(secs "$bst")" \
        "$(mbps "$med")" "$(ratio "$med" "$cat_med")" "$(ratio "$bst" "$cat_best")"
done
echo

# Output check: the plain join must be cat's bytes; a timeline mode keeps
# the length and changes only timestamp bytes.
for i in "${!labels[@]}"; do
    dest=$out/tsmerge-${labels[$i]}.ts
    if [ -z "${flagsets[$i]}" ]; then
        if cmp -s "$out/cat.ts" "$dest"; then
            echo "tsmerge (plain join): output byte-identical to cat's (cmp)"
        else
            echo "tsmerge (plain join): OUTPUT DIFFERS FROM CAT'S: $(cmp "$out/cat.ts" "$dest" 2>&1 | head -n 1)"
            failed=1
        fi
    else
        size=$(wc -c <"$dest")
        if cmp -s "$out/cat.ts" "$dest"; then
            echo "tsmerge ${flagsets[$i]}: output identical to cat's ($size bytes)"
        else
            echo "tsmerge ${flagsets[$i]}: $size bytes (cat: $bytes), differs from cat's in $(cmp -l "$out/cat.ts" "$dest" 2>/dev/null | wc -l) bytes"
        fi
    fi
    rm -f "$dest"
done
rm -f "$out/cat.ts" "$out/tsmerge.err"

[ "${SKIP_BIG:-0}" != 1 ] || exit "${failed:-0}"

# Peak memory on one big source, read once first so it comes from the cache.
echo
big_bytes=$(wc -c <"$big/1.ts")
cat "$big/1.ts" >/dev/null
echo "peak memory, folder $big (one source of $big_bytes bytes):"
echo "(elapsed includes waiting for the kernel to write back gigabytes; the table above is the speed figure)"
printf '%-32s %10s %12s\n' command elapsed_s max_rss_MiB
peak() {   # label, file for its standard output, then the command
    local label=$1 stdout=$2 rc=0; shift 2
    sync
    /usr/bin/time -f '%e %M' -o "$out/time.txt" "$@" >"$stdout" 2>"$out/peak.err" || rc=$?
    [ "$rc" -eq 0 ] || die "$label exited $rc: $(head -n 1 "$out/peak.err")"
    read -r elapsed rss_kib <"$out/time.txt"
    printf '%-32s %10s %12s\n' "$label" "$elapsed" "$(awk -v k="$rss_kib" 'BEGIN {printf "%.1f", k / 1024}')"
}
rm -f "$out/big-cat.ts"
peak cat "$out/big-cat.ts" cat "$big/1.ts"
rm -f "$out/big-cat.ts"
for i in "${!labels[@]}"; do
    dest=$out/big-${labels[$i]}.ts
    rm -f "$dest"
    # shellcheck disable=SC2086
    peak "tsmerge ${flagsets[$i]}" /dev/null "$tsmerge" ${flagsets[$i]} -o "$dest" "$big"
    [ "$(wc -c <"$dest")" -eq "$big_bytes" ] || { echo "  output length differs from the source"; failed=1; }
    rm -f "$dest"
done
rm -f "$out/time.txt" "$out/peak.err"
exit "${failed:-0}"
