#!/usr/bin/env bash
# Builds the Windows programs tsmerge.exe and tsmerge-gui.exe on Debian 12 with MinGW-w64, into
# build-windows/ (the programs land in build-windows/bin/), installing what is missing from
# Debian's packages first. Then: ctest --test-dir build-windows runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 googletest wine wine64)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  echo "build-windows: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt_get() { if [ -e /work/apt.lock ]; then flock /work/apt.lock apt-get "$@"; else apt-get "$@"; fi; }
  apt_get update -qq
  apt_get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-windows -j"$(nproc)"
echo "build-windows: $(ls build-windows/bin/*.exe | tr '\n' ' ')"

# The tests run under Wine in a prefix of the build folder's own; its first start is slow, so it
# is made once here rather than by the first tests racing each other.
if [ ! -f build-windows/wineprefix/system.reg ]; then
  WINEPREFIX="$PWD/build-windows/wineprefix" WINEDEBUG=-all wineboot -i >/dev/null 2>&1 || true
fi
