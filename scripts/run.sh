#!/usr/bin/env bash
# Installs what Emulsa needs, builds it, and does Emulsa's main job on the
# bundled demo data: grades the demo clip with a film look and writes the
# movie. With a desktop display present, Emulsa's window opens afterwards.
#   scripts/run.sh --app   start the application instead (on a private
#                          virtual display when there is no desktop)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EMULSA_BUILD_DIR:-$root/build}

bash "$root/scripts/build.sh"
if [ "${1:-}" = "--app" ]; then
  shift
  exec bash "$root/scripts/with-display.sh" "$build/bin/emulsa" "$@"
fi
EMULSA_DEMO_NO_BUILD=1 bash "$root/scripts/demo.sh"
if [ -n "${DISPLAY:-}" ]; then
  exec "$build/bin/emulsa" "$@"
fi
echo "Start the application with: scripts/run.sh --app"
