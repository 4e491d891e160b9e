#!/usr/bin/env bash
# Installs, builds, and runs every test. OpenGL and widget tests need a
# display; without one they run on a private virtual display with Mesa.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EMULSA_BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh"
cd "$build"
bash "$root/scripts/with-display.sh" ctest --output-on-failure -j"$(nproc)" "$@"
