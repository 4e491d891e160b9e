#!/usr/bin/env bash
# Installs every Debian package Emulsa needs to build, run and test.
# Safe to run repeatedly: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang-format
  qtbase5-dev qtbase5-dev-tools qtmultimedia5-dev libqt5opengl5-dev libqt5svg5-dev
  libqt5multimedia5-plugins qt5-image-formats-plugins
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libopencv-core-dev libopencv-imgproc-dev
  libquazip1-qt5-dev
  libbenchmark-dev libgtest-dev python3 time
  help2man desktop-file-utils appstream shared-mime-info man-db dpkg-dev lintian
  clang libclang-rt-14-dev
  xvfb xauth libgl1-mesa-dri libegl-mesa0 libegl-dev libgl-dev mesa-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
