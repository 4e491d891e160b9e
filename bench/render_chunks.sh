#!/usr/bin/env bash
# Renders one job as a TIFF sequence twice on this machine: by one process,
# and as four parts (--chunk 0/4 .. 3/4) by four processes at once, as a
# farm would on one node. Prints each one's wall-clock time and images per
# second, their ratio, and whether the four parts' images are byte for byte
# those of the one process.
# The job: a 1080p25 clip with sound, graded with the default grade (stock
# 5207, grain at BENCH_GRAIN), rendered at BENCH_SIZE.
#   EMULSA_BUILD_DIR  build folder (default ./build)
#   BENCH_SECONDS     clip length (default 4)
#   BENCH_SIZE        output size (default 960x540)
#   BENCH_PARTS       parts run at once (default 4)
#   BENCH_GRAIN       grain strength, 0..200 (default 100)
set -euo pipefail
source "$(dirname "$0")/common.sh"
seconds=${BENCH_SECONDS:-4}
size=${BENCH_SIZE:-960x540}
parts=${BENCH_PARTS:-4}
grain=${BENCH_GRAIN:-100}
require_built "$render"
require_commands ffmpeg

make_workspace emulsa-bench-chunks
frames=$((seconds * 25))
make_clip "$seconds"

common=(-q -f tiff -s "$size" --grain "$grain" "$clip")
now() { date +%s.%N; }

start=$(now)
"$render" "${common[@]}" -o "$work/one" >"$work/one.log" 2>&1 || { cat "$work/one.log" >&2; exit 1; }
one=$(echo "$(now) - $start" | bc -l)

start=$(now)
pids=()
for ((k = 0; k < parts; k++)); do
  "$render" "${common[@]}" -o "$work/parts" --chunk "$k/$parts" >"$work/part$k.log" 2>&1 &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
split=$(echo "$(now) - $start" | bc -l)
[ "$failed" = 0 ] || { cat "$work"/part*.log >&2; exit 1; }

count_one=$(find "$work/one" -name '*.tiff' | wc -l)
count_parts=$(find "$work/parts" -name '*.tiff' | wc -l)
identical=yes
diff -r -q "$work/one" "$work/parts" >/dev/null || identical=no

printf 'clip: %d frames 1080p25, rendered at %s as TIFF, default grade, grain %s; %s processors\n' \
  "$frames" "$size" "$grain" "$(nproc)"
printf '%-22s %8.2f s  %6.2f images/s  (%d images)\n' "one process" "$one" \
  "$(echo "$count_one / $one" | bc -l)" "$count_one"
printf '%-22s %8.2f s  %6.2f images/s  (%d images)\n' "$parts parts at once" "$split" \
  "$(echo "$count_parts / $split" | bc -l)" "$count_parts"
printf 'speed-up: %.2fx; images identical: %s\n' "$(echo "$one / $split" | bc -l)" "$identical"
