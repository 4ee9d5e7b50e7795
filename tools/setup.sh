#!/usr/bin/env bash
# Installs the Debian packages that building and testing need (only those missing), then
# configures and builds everything into build/. Run as root on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make pkg-config
  libgtest-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-svg-dev
  fonts-wqy-microhei
  ffmpeg
  gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad mkvtoolnix
  xvfb xauth xdotool x11-utils imagemagick time openbox
  clang-14 libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
