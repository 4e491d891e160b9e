#!/usr/bin/env bash
# Installs what Emulsa needs, then configures and builds it in ./build
# (or the folder named by EMULSA_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EMULSA_BUILD_DIR:-$root/build}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja ${EMULSA_CMAKE_ARGS:-}
cmake --build "$build"
