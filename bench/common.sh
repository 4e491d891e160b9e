# Set-up shared by the render benchmarks; sourced by them after
# `set -euo pipefail`. Gives root (the source tree), build
# (EMULSA_BUILD_DIR, default ./build) and render (the emulsa-render program
# there), and the helpers below.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${EMULSA_BUILD_DIR:-$root/build}
render="$build/bin/emulsa-render"

# require_built PROGRAM...: stops unless each program has been built.
require_built() {
  local tool
  for tool in "$@"; do
    [ -x "$tool" ] || { echo "bench: $tool is missing; build first" >&2; exit 1; }
  done
}

# require_commands NAME...: stops unless each command is on the PATH.
require_commands() {
  local name
  for name in "$@"; do
    command -v "$name" >/dev/null || { echo "bench: $name is missing" >&2; exit 1; }
  done
}

# make_workspace PREFIX: a temporary folder in $work, removed on exit, and
# the path of the benchmark clip in it in $clip.
make_workspace() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/$1-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  clip="$work/bench_1080p25.mp4"
}

# make_clip SECONDS: writes $clip, a moving, detailed 1080p25 picture with a
# 440 Hz tone, limited range.
make_clip() {
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$1" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$1" \
    -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p -g 25 -c:a aac -b:a 128k "$clip"
}
