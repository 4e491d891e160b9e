#!/usr/bin/env bash
# Installs, builds and starts Emulsa.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EMULSA_BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh"
bash "$root/scripts/with-display.sh" "$build/bin/emulsa" "$@"
