#!/usr/bin/env bash
# Checks emulsa-render on a real scheduler: starts a one-node Slurm cluster on
# this machine (munged, slurmctld and slurmd from Debian's packages
# munge and slurm-wlm, every file of it in a temporary folder, on ports of
# its own), then submits the demo clip twice:
#   - as TIFF images by a job array of 4 (--chunk auto);
#   - as a movie: a job array of 4 rendering intermediates, and an assemble
#     job that starts when all of them ended well (afterok);
# waits for them, prints the jobs' accounting lines, and checks the output:
# every image once, each byte for byte the image of a one-process render,
# and the assembled movie with every frame and its sound as long as its
# pictures. Exit status 0 when all is well. CI does not run it.
#   EMULSA_BUILD_DIR  build folder (default ./build)
#   FARM_SIZE         output size (default 320x180)
#   FARM_GRAIN        grain strength of the grade, 0..200 (default 100)
#   FARM_KEEP=1       leave the temporary folder (logs, output) in place
# Needs to run as root, or as a user who may start the daemons.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${EMULSA_BUILD_DIR:-$root/build}" && pwd)
size=${FARM_SIZE:-320x180}
grain=${FARM_GRAIN:-100}
render="$build/bin/emulsa-render"
clip="$build/share/demo/emulsa_demo.mp4"
for tool in munged slurmctld slurmd sbatch squeue sacct scontrol ffprobe; do
  command -v "$tool" >/dev/null || {
    echo "farm-check: $tool is missing (apt-get install slurm-wlm munge ffmpeg)" >&2
    exit 1
  }
done
[ -x "$render" ] || { echo "farm-check: $render is missing; build first" >&2; exit 1; }
[ -f "$clip" ] || { echo "farm-check: $clip is missing; build emulsa_demo_clip" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/emulsa-farm-XXXXXX")
chmod 755 "$work"
mkdir -p "$work"/{state,spool,logs,out,one}
export SLURM_CONF="$work/slurm.conf"
node=$(hostname -s)
user=$(id -un)
cpus=$(nproc)
port=$((20000 + RANDOM % 20000))

stop() {
  set +e
  scontrol shutdown >/dev/null 2>&1
  for pidfile in "$work/slurmd.pid" "$work/slurmctld.pid" "$work/munged.pid"; do
    [ -f "$pidfile" ] && kill "$(cat "$pidfile")" 2>/dev/null
  done
  sleep 1
  if [ "${FARM_KEEP:-0}" = 1 ]; then echo "farm-check: left $work"; else rm -rf "$work"; fi
}
trap stop EXIT

# munge: a key of its own and a socket in the folder.
dd if=/dev/urandom of="$work/munge.key" bs=1024 count=1 status=none
chmod 600 "$work/munge.key"
munged --force --key-file="$work/munge.key" --socket="$work/munge.socket" \
  --pid-file="$work/munged.pid" --log-file="$work/munged.log" --seed-file="$work/munged.seed"

cat >"$SLURM_CONF" <<EOF
ClusterName=emulsa-check
SlurmctldHost=$node
SlurmUser=$user
SlurmdUser=$user
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge.socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/filetxt
JobCompLoc=$work/jobcomp.log
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
NodeName=$node CPUs=$cpus State=UNKNOWN
PartitionName=check Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF

slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
for _ in $(seq 60); do
  sinfo -h -o %t 2>/dev/null | grep -q idle && break
  sleep 1
done
sinfo -h -o "%P %D %t" | grep -q idle || {
  echo "farm-check: the node did not come up" >&2
  tail -20 "$work/slurmctld.log" "$work/slurmd.log" >&2
  exit 1
}

# Each part renders on one processor; the display wrapper is not needed, as
# emulsa-render starts its own when there is none.
common="$render -q -s $size --grain $grain -o $work/out $clip"
images=$(sbatch --parsable --job-name=emulsa-images --array=0-3 --cpus-per-task=1 \
  --output="$work/logs/images-%A_%a.out" --wrap="$common -f tiff --chunk auto")
parts=$(sbatch --parsable --job-name=emulsa-parts --array=0-3 --cpus-per-task=1 \
  --output="$work/logs/parts-%A_%a.out" --wrap="$common --intermediate --chunk auto")
assemble=$(sbatch --parsable --job-name=emulsa-assemble --dependency=afterok:"$parts" \
  --output="$work/logs/assemble-%j.out" --wrap="$render --assemble $work/out")
echo "submitted: images $images (array of 4), parts $parts (array of 4), assemble $assemble (afterok:$parts)"
for _ in $(seq 900); do
  [ -z "$(squeue -h -j "$images,$parts,$assemble" 2>/dev/null)" ] && break
  sleep 2
done

# sacct reads the accounting database (slurmdbd), which this cluster has
# not; the job completion log holds the same fields, printed in its columns.
echo "--- sacct"
sacct -j "$images,$parts,$assemble" -X -o JobID%12,JobName%16,State,ExitCode,Elapsed 2>&1 | head -20 || true
echo "--- the same from the job completion log"
printf '%-12s %-16s %-10s %-8s %s\n' JobID JobName State ExitCode Start-End
awk '{
  delete f
  for (i = 1; i <= NF; i++) { split($i, kv, "="); f[kv[1]] = substr($i, length(kv[1]) + 2) }
  id = ("ArrayJobId" in f) ? f["ArrayJobId"] "_" f["ArrayTaskId"] : f["JobId"]
  printf "%-12s %-16s %-10s %-8s %s - %s\n", id, f["Name"], f["JobState"], f["ExitCode"], f["StartTime"], f["EndTime"]
}' "$work/jobcomp.log" 2>/dev/null | sort -V || true

status=0
check() {
  if eval "$2"; then echo "ok    $1"; else echo "FAIL  $1"; status=1; fi
}
# The reference: one process, no parts.
$render -q -s "$size" --grain "$grain" -f tiff -o "$work/one" "$clip" >/dev/null
frames=$(find "$work/one" -name '*.tiff' | wc -l)
check "the array of 4 wrote $frames images, each once" \
  "[ \$(find $work/out/emulsa_demo -name '*.tiff' | wc -l) = $frames ]"
different=$(diff -r -q "$work/one/emulsa_demo" "$work/out/emulsa_demo" 2>&1 | wc -l)
check "images byte for byte those of one process ($different differ)" "[ $different = 0 ]"
check "no working files left" "[ -z \"\$(find $work/out/emulsa_demo -name '.*.part')\" ]"
movie="$work/out/emulsa_demo.mov"
check "the assembled movie exists" "[ -f $movie ]"
video=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 \
  "$movie" 2>/dev/null || echo 0)
check "the movie has all $frames frames (has $video)" "[ '$video' = '$frames' ]"
sound=$(ffprobe -v error -select_streams a:0 -show_entries stream=duration -of csv=p=0 "$movie" 2>/dev/null || echo 0)
check "its sound lasts as long as the pictures ($sound s for $frames frames at 25 fps)" \
  "[ \$(echo \"($sound - $frames / 25) < 0.001 && ($frames / 25 - $sound) < 0.001\" | bc -l) = 1 ]"
for log in "$work"/logs/*.out; do
  grep -q "failed" "$log" && ! grep -q " 0 failed" "$log" && { echo "--- $log"; cat "$log"; }
done
exit $status
