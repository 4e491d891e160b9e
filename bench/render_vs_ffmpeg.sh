#!/usr/bin/env bash
# Renders the same 10-second 1080p25 clip through emulsa-render and through
# the ffmpeg command-line tool doing the nearest equivalent, and prints each
# one's frame rate, their ratio and each one's peak memory:
#   1. graded: stock "5207", grain "35 mm Full Frame" at 100, "H.264 - High
#      Quality"  vs  ffmpeg with the same stock table as a .cube (lut3d) and
#      its noise filter for grain;
#   2. grade off (--no-grade)  vs  a plain ffmpeg transcode;
#   3. graded as in 1, to "ProRes 422 HQ"  vs  ffmpeg's lut3d + noise into
#      prores_ks profile HQ (10-bit 4:2:2) with 24-bit PCM sound;
#   4. graded as in 1 with every film effect at 100 (halation, bloom, gate
#      weave, flicker, colour grain)  vs  the ffmpeg filters of 1.
# Both sides encode with the same settings: libx264 High 5.1, CRF 14, preset
# medium, look-ahead 10 frames, yuv420p, AAC 192 kbit/s, into ".mov".
# (emulsa-render runs x264's look-ahead on its encoding thread to save
# memory; ffmpeg keeps x264's own look-ahead thread. The stream is the same
# either way.)
# Frame rates are frames / wall-clock seconds of the whole program (start-up,
# decoding, grading, encoding); peak memory is the maximum resident set of the
# program and anything it started (the private X server emulsa-render may
# start included), as the kernel reports it to the waiting parent; cpu is
# the user and system time of the same processes ("busy": cpu / wall, how many
# processors the program kept working). Then ffmpeg re-encodes emulsa-render's
# graded movie with the same settings: the encoder's own cost on grainy
# pictures, a bound on how fast any graded render can be.
# Each goal is printed with "met" or "NOT met": graded at least 2x the ffmpeg
# filters (1.5x with every film effect on), grade off at least 0.8x the plain transcode, peak memory under
# 500 MB. Then bench_gpu_pipeline, when built, prints each GL pass (1080p,
# 2160p, the 1280 x 720 preview, stage by stage; the grade pass goals are
# 110 ms at 1080p and 60 ms at 720p on llvmpipe). BENCH_GPU_FRAMES sets its
# frame count (default 6; 0 leaves it out).
#   EMULSA_BUILD_DIR  build folder (default ./build)
#   BENCH_SECONDS     clip length (default 10)
set -euo pipefail
source "$(dirname "$0")/common.sh"
seconds=${BENCH_SECONDS:-10}
filmdata="$build/bin/emulsa-filmdata"
require_built "$render" "$filmdata"
require_commands ffmpeg python3

make_workspace emulsa-bench
frames=$((seconds * 25))
make_clip "$seconds"
"$filmdata" --cube "$work/5207.cube" --cube-profile OT01 --cube-stock 5207 >/dev/null

encoder=(-c:v libx264 -profile:v high -level:v 5.1 -preset medium -crf 14 -rc-lookahead 10 -pix_fmt yuv420p
  -color_range tv -colorspace bt709 -color_primaries bt709 -color_trc bt709
  -c:a aac -b:a 192k -ac 2)

# run NAME COMMAND...: prints "NAME seconds peak_kB cpu_seconds"
run() {
  local name=$1
  shift
  python3 - "$name" "$work/$name.log" "$@" <<'PY' || { echo "bench: $name failed:" >&2; tail -20 "$work/$name.log" >&2; exit 1; }
import resource, subprocess, sys, time
name = sys.argv[1]
log = open(sys.argv[2], "wb")
start = time.monotonic()
code = subprocess.call(sys.argv[3:], stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
if code != 0:
    sys.exit(1)
print(f"{name} {wall:.2f} {usage.ru_maxrss} {usage.ru_utime + usage.ru_stime:.2f}")
PY
}

report() {
  local title=$1 ours=$2 theirs=$3 goal=$4
  read -r _ wall_a peak_a cpu_a <<<"$ours"
  read -r _ wall_b peak_b cpu_b <<<"$theirs"
  python3 - "$title" "$frames" "$wall_a" "$peak_a" "$wall_b" "$peak_b" "$goal" "$cpu_a" "$cpu_b" <<'PY'
import os, sys
title, frames = sys.argv[1], int(sys.argv[2])
wa, pa, wb, pb = float(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5]), int(sys.argv[6])
goal = float(sys.argv[7])
ca, cb = float(sys.argv[8]), float(sys.argv[9])
fa, fb = frames / wa, frames / wb
print(f"{title}")
# CPU time over wall time: how many processors the program kept busy.
print(f"  emulsa-render : {fa:7.2f} fps  ({wa:6.1f} s)  peak {pa / 1024:7.1f} MB  cpu {ca:6.1f} s ({ca / wa:.1f} busy)")
print(f"  ffmpeg        : {fb:7.2f} fps  ({wb:6.1f} s)  peak {pb / 1024:7.1f} MB  cpu {cb:6.1f} s ({cb / wb:.1f} busy)")
met = lambda ok: "met" if ok else "NOT met"
print(f"  ratio emulsa-render / ffmpeg: {fa / fb:.2f}  (goal at least {goal}: {met(fa / fb >= goal)})")
print(f"  peak memory under 500 MB: {met(pa / 1024 < 500)}")
PY
}

echo "Clip: ${seconds} s, 1920x1080, 25 fps, $frames frames ($(nproc) processors)"
graded=$(run graded "$render" --stock 5207 --gauge "35 mm Full Frame" --grain 100 \
  --format "H.264 - High Quality" --overwrite --quiet -o "$work/emulsa" "$clip")
ffgraded=$(run ffgraded ffmpeg -v error -y -i "$clip" \
  -vf "lut3d=file=$work/5207.cube,noise=alls=12:allf=t" "${encoder[@]}" "$work/ffmpeg_graded.mov")
plain=$(run plain "$render" --no-grade --format "H.264 - High Quality" --overwrite --quiet \
  -o "$work/emulsa_plain" "$clip")
ffplain=$(run ffplain ffmpeg -v error -y -i "$clip" "${encoder[@]}" "$work/ffmpeg_plain.mov")

prores=$(run prores "$render" --stock 5207 --gauge "35 mm Full Frame" --grain 100 \
  --format "ProRes 422 HQ" --overwrite --quiet -o "$work/emulsa_prores" "$clip")
ffprores=$(run ffprores ffmpeg -v error -y -i "$clip" \
  -vf "lut3d=file=$work/5207.cube,noise=alls=12:allf=t" -c:v prores_ks -profile:v 3 -pix_fmt yuv422p10le \
  -color_range tv -colorspace bt709 -color_primaries bt709 -color_trc bt709 -c:a pcm_s24le -ac 2 \
  "$work/ffmpeg_prores.mov")

effects=$(run effects "$render" --stock 5207 --gauge "35 mm Full Frame" --grain 100 --halation 100 --bloom 100 \
  --gate-weave 100 --flicker 100 --colour-grain 100 --format "H.264 - High Quality" --overwrite --quiet \
  -o "$work/emulsa_effects" "$clip")

report "Graded (5207, 35 mm grain at 100, H.264 - High Quality):" "$graded" "$ffgraded" 2.0
report "Graded with every film effect at 100 (H.264 - High Quality) vs the same ffmpeg filters:" "$effects" "$ffgraded" 1.5
report "Grade off vs plain transcode:" "$plain" "$ffplain" 0.8
report "Graded (5207, 35 mm grain at 100, ProRes 422 HQ):" "$prores" "$ffprores" 2.0
# What the encoder alone costs on the graded pictures (grain makes x264 work
# far harder than on the clean source): ffmpeg decoding emulsa-render's movie
# and encoding it again with the same settings. No grading can make the graded
# render faster than this. The same for the pictures with every film effect:
# the effects change what x264 codes (halation moves bright colours to where
# the grain is strongest), so they cost the encoder too, beside the grade.
encoder_alone() { # LABEL MOVIE
  local result wall cpu
  result=$(run reencode ffmpeg -v error -y -i "$2" "${encoder[@]}" "$work/reencode.mov")
  read -r _ wall _ cpu <<<"$result"
  python3 -c "import sys; w, c, n = float(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3]); \
print(f'Encoder alone on {sys.argv[4]} (ffmpeg re-encoding them): {n / w:.2f} fps, cpu {c:.1f} s')" \
    "$wall" "$cpu" "$frames" "$1"
}
encoder_alone "the graded pictures" "$work/emulsa/bench_1080p25.mov"
encoder_alone "the pictures with every film effect" "$work/emulsa_effects/bench_1080p25.mov"
count=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 \
  "$work/emulsa/bench_1080p25.mov")
echo "emulsa-render wrote $count frames (expected $frames)"

gpu_frames=${BENCH_GPU_FRAMES:-6}
if [ "$gpu_frames" -gt 0 ] && [ -x "$build/bin/bench_gpu_pipeline" ]; then
  echo
  "$root/scripts/with-display.sh" "$build/bin/bench_gpu_pipeline" "$gpu_frames" 1 2>/dev/null
fi
