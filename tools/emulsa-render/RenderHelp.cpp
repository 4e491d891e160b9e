#include "RenderOptions.h"

namespace Emulsa::RenderTool {

QString renderHelpText()
{
    return QStringLiteral(R"(Usage: emulsa-render [options] CLIP [CLIP...]
       emulsa-render [options] --project FILE.empf

Grades each clip with a film look and writes it to disk, exactly as the render
tab of Emulsa does: the same GPU grade, the same encoder, the same file names.
Each clip is rendered from its in point to its out point into the output
folder as <name>.mov, or as the image sequence <name>/<name>.NNNNNN.tiff (.dpx, .exr),
where NNNNNN is the frame number (six digits) counted at the clip's
frame rate, as the in and out points are.

Output
  -o, --output FOLDER     Output folder (made when missing). Default: the
                          current folder. A clip is never written over its
                          own source file.
  -f, --format FORMAT     "H.264 - High Quality" (or hq; the default),
                          "H.264 - Medium" (medium), "H.264 - Preview"
                          (preview), "Tiff Sequence" (tiff), "ProRes 422 HQ"
                          (prores), "ProRes 4444" (prores4444), "DNxHR HQX"
                          (dnxhr), "H.265 Main 10" (h265), "DPX 10-bit
                          sequence" (dpx), "OpenEXR half-float sequence"
                          (exr).
                          Movies are QuickTime .mov files with stereo sound,
                          tagged BT.709. H.264 is High profile, level 5.1,
                          8-bit 4:2:0, AAC 192 kbit/s: High Quality is
                          visually transparent (x264 CRF 14); Medium is CRF
                          20, Preview CRF 26 and faster. ProRes 422 HQ and
                          DNxHR HQX are 10-bit 4:2:2, ProRes 4444 10-bit
                          4:4:4, all three with 24-bit PCM sound; H.265 Main
                          10 is 10-bit 4:2:0 (CRF 16) with AAC sound.
                          Images carry no sound: TIFF as --tiff-depth,
                          --tiff-compression and --tiff-alpha say; DPX 10-bit
                          RGB; OpenEXR half-float RGB, ZIP compressed.
  -s, --size WxH          Output frame size, e.g. 1920x1080, or "source"
                          (the default) to keep the clip's size. Both sides
                          at least 2 pixels; movies need even sides, images an
                          even width.
      --fit MODE          How a picture of another shape fills the frame:
                          width (scale to the frame width, crop or pad top and
                          bottom; the default), height (scale to the height,
                          crop or pad the sides), stretch (distort to fill).
      --overwrite         Replace an existing movie, or the earlier images of
                          the same clip (a folder that holds anything else is
                          never emptied).
      --keep              Leave existing output alone and skip that clip (the
                          default).
      --in POSITION       In point: the first frame rendered. A frame number
                          counted from 0, or seconds with "s" (e.g. 2.5s).
      --out POSITION      Out point: rendering stops before this frame.
                          Default: the end of the clip. The same in and out
                          points apply to every clip given.

TIFF sequences
      --tiff-depth N      8 (default) or 16 bits per channel.
      --tiff-compression C
                          none (default), lzw or deflate (both lossless).
      --tiff-alpha A      yes (default) or no: the alpha channel (always
                          opaque) is stored or left out.

Project
      --project FILE      Render every clip of a project saved by Emulsa
                          (.empf), in sequence order, each with its own grade
                          and in and out points. The output options apply;
                          the grade options and --in/--out do not.

Render farm (see docs/render-farm.md)
      --chunk K/N         Render part K (counted from 0) of N parts of the
                          job, so that N tasks on any machines render it
                          together. Image sequences are cut by frame range
                          over all the clips laid end to end (runs of equal
                          length, one frame apart at most); each image is
                          written straight into the clip's image folder
                          under a hidden working name and renamed when
                          complete, and with --keep an existing image is
                          skipped, so that a task run again after it was
                          stopped renders only what is missing. Movies are
                          shared out whole, a run of clips per part.
      --chunk auto        The part from the scheduler: a Slurm job array
                          (SLURM_ARRAY_TASK_ID of SLURM_ARRAY_TASK_COUNT, or
                          of SLURM_ARRAY_TASK_MIN..MAX), or a Kubernetes
                          Indexed Job (JOB_COMPLETION_INDEX, with --chunks).
      --chunks N          The number of parts for --chunk auto: needed for
                          Kubernetes; for Slurm it replaces the array's count.
      --intermediate      Movies by frame range too: each part renders its
                          frames of a clip as a ProRes 422 HQ movie with its
                          sound, into <output>/<name>.intermediate/, for
                          --assemble to join.
      --assemble FOLDER   Join the intermediate movies in the output folder
                          FOLDER, each clip's in frame order, into
                          FOLDER/<name>.mov by copying (nothing is encoded
                          again), the sound in step with the pictures. A
                          clip whose parts do not cover its frames once
                          fails and is named.
      --list-chunks N     Print what each of N parts would render, and exit.
                          Two clips of the same source file in one job (a
                          project that uses a clip twice) write apart: the
                          second as <name>_2, the third <name>_3, as the
                          render tab names them.

Grade (defaults: the application's default grade)
      --profile ID        Camera profile the clips were shot with, by its
                          four-character id (default OT01, "Other"). A
                          catalogue profile whose tables are not installed
                          is made first, into the per-user profiles folder.
      --stock STOCK       Film stock by code (5207) or display name
                          ("KD 5207 Vis3"). Default 5207.
      --stock-amount N    Strength of the stock's colour, 0..100 % (100).
      --curve-amount N    How much of the stock's contrast curve remains,
                          0..100 % (100).
      --gauge NAME        Film gauge whose grain is emulated, e.g.
                          "35 mm Full Frame" (default), "16 mm", "8 mm".
      --grain N           Grain strength, 0..200 % (100). 0 turns grain off.
      --exposure EV       Exposure offset in decades, -1.5..1.5 (0):
                          +0.3 is about one stop brighter, +1.0 ten times
                          the light.
      --kelvin K          Colour temperature, 1700..12000 (5600 = neutral;
                          higher is warmer).
      --shadows R,HUE     Colour wheels: push the shadows, midtones or
      --midtones R,HUE    highlights towards a hue. R is the strength 0..1,
      --highlights R,HUE  HUE the direction in degrees (0 = red, 120 =
                          green, -120 = blue). Default 0,0 (neutral).
      --lift N            Lift, gamma and gain of the tone curve, each
      --gamma N           0.5..1.5 (1 = unchanged).
      --gain N
      --saturation N      0..2 (0 = black and white, 1 = unchanged).
      --levels B,M,W      Output levels: the input values that become black,
                          mid-grey and white, each 0..1 (0,0.5,1).
      --halation N        Film effects, each 0..100 % (0 = off): the red
      --bloom N           glow round highlights, a soft glow of the
      --gate-weave N      brightest areas, the frame's unsteady weave, the
      --flicker N         exposure's flicker, and how much of the grain is
      --colour-grain N    grain of each dye layer rather than monochrome.
      --preset LOOK       Start from a saved preset of your presets: "GROUP/NAME",
                          or a NAME that only one group holds. The grade
                          options given with it adjust the preset's look.
      --preset-file FILE  Start from a preset of a preset file (.empreset or
      --preset-name NAME  .empresets), named by --preset-name; a file of one
                          preset needs no name.
      --no-grade          Render the pictures ungraded (no stock, no grain,
                          everything neutral): a plain transcode.
      --accept-defaults   Render a preset, or a clip of a project, whose
                          grade could not be read whole from its file, with
                          default values where it was lost (a warning names
                          the fields). Without it such a preset or clip is
                          refused: nothing is written for it and the exit
                          status is 1.

Look
      --export-cube FILE  Write the grade as a 3D LUT (.cube) that other
                          tools apply to the same footage: everything but
                          grain and blur. Needs no clip.
      --cube-size N       Points a side of that LUT: 17, 33 (default) or 65.

Information
      --list-stocks       Print the stocks (code and display name) and exit.
      --list-profiles     Print the installed camera profiles and exit.
      --list-gauges       Print the film gauges and exit.
      --hw-decode MODE    Decode the clips with the video hardware: auto
                          (default: the first device that works), vaapi,
                          cuda, vdpau (that device only; a clip it cannot
                          decode is decoded in software with a warning) or
                          off. Overrides EMULSA_HW_DECODE.
  -q, --quiet             No progress bar; only errors and the summary.
  -v, --verbose           Also print the renderer's log.
  -h, --help              This text.

Progress is shown per clip with the frames done, the frame rate and the time
left. Ctrl+C stops the clip in progress: a partial movie is deleted,
images already written are kept.

Exit status
  0  Everything asked for is done: every clip (or part) was rendered, or
     skipped because its output exists and --keep is in effect.
  1  Something failed: a clip could not be read or rendered, was refused for
     a grade that could not be read whole, or the run was stopped. The
     failures are listed at the end.
  2  A usage error: an unknown option or a bad value (--chunk 3/2, a/b, no
     scheduler's index for --chunk auto, ...). Nothing was rendered.

Without a display (no DISPLAY set), emulsa-render needs no X server: it takes
its OpenGL context from Mesa's EGL on the surfaceless platform. Where that is
not available it starts a private virtual X display (Xvfb) instead and stops
it when done. Either way Mesa's software renderer (or a GPU that Mesa
drives) does the GPU work; --verbose says which path was taken.

Film data comes from the data folder next to the program
(<bindir>/../share/Quillmoor), or from $PROGRAMDATA/Quillmoor when
PROGRAMDATA is set.

Example
  emulsa-render --stock "KD 5207 Vis3" --grain 60 --gauge "16 mm" \
      --exposure 0.1 -f hq -s 1920x1080 -o renders A001.MP4 A002.MP4
)");
}

} // namespace Emulsa::RenderTool
