#!/usr/bin/env bash
# Renders the demo clip (a slow pan over the sample picture with a tone, made
# by the build) with a film look through emulsa-render, and says where the
# graded movie is. Builds first unless EMULSA_DEMO_NO_BUILD=1.
#   EMULSA_BUILD_DIR  build folder (default ./build)
#   EMULSA_DEMO_OUT   output folder (default <build>/demo-output)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EMULSA_BUILD_DIR:-$root/build}
out=${EMULSA_DEMO_OUT:-$build/demo-output}

if [ "${EMULSA_DEMO_NO_BUILD:-0}" != 1 ]; then
  bash "$root/scripts/build.sh"
fi
clip="$build/share/demo/emulsa_demo.mp4"
if [ ! -f "$clip" ]; then
  echo "demo: the demo clip $clip is missing (is ffmpeg installed? build again)" >&2
  exit 1
fi

# Kodak Vision3 250D look with 35 mm grain, a touch warmer and brighter.
# Without a display emulsa-render takes OpenGL from headless EGL (or Xvfb).
"$build/bin/emulsa-render" \
  --profile OT01 --stock "KD 5207 Vis3" --grain 100 --gauge "35 mm Full Frame" \
  --exposure 0.05 --kelvin 6000 --saturation 1.1 \
  --format "H.264 - Medium" --size 1280x720 --overwrite \
  --output "$out" "$clip"

echo
echo "Graded demo movie: $out/emulsa_demo.mov"
echo "Source clip:       $clip"
