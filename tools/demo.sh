#!/usr/bin/env bash
# Sets everything up, builds, and joins the bundled sample segments into out/samples-joined.ts.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
mkdir -p out
echo "demo: joining $(ls samples | wc -l) segments of $PWD/samples in natural order"
build/bin/tsmerge --force -o out/samples-joined.ts "$PWD/samples"
ls -l out/samples-joined.ts
