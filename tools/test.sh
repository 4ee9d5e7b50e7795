#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite: a bounded fuzzing run of the
# timestamp corrector, then every unit, integration and window test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
if [ -f fuzz/run.sh ]; then
  bash fuzz/run.sh "${FUZZ_SECONDS:-60}"
fi
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The Windows programs, built with MinGW-w64, and their tests under Wine.
bash tools/build-windows.sh
ctest --test-dir build-windows --output-on-failure -j"$(nproc)"
