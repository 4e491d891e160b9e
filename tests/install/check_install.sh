#!/usr/bin/env bash
# Installs the build into a temporary prefix as `cmake --install` would for a
# user, then checks what a desktop and a shell make of it: the desktop entry,
# the AppStream metadata and the file types validate, the icons are there at
# their sizes, each manual page renders and names every option of its
# program's --help, the completion parses, and the installed emulsa-render
# renders the demo clip with its film data found next to it (PROGRAMDATA
# unset).
#
#   check_install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/usr
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
share=$prefix/share
app_id=org.emulsa.Emulsa

for program in emulsa emulsa-render emulsa-filmdata; do
  [ -x "$prefix/bin/$program" ] || fail "$program is not installed"
done
[ -f "$share/Quillmoor/Resources/cameraList_v001.xml" ] || fail "the film data is not installed"

desktop-file-validate "$share/applications/$app_id.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net --explain "$share/metainfo/$app_id.metainfo.xml" \
  || fail "the AppStream metadata does not validate"

# The file types: the XML parses and maps each extension to its type, and
# the MIME database builds from it.
python3 - "$share/mime/packages/$app_id.xml" <<'PY' || fail "the file types are wrong"
import sys, xml.etree.ElementTree as ET
ns = {"m": "http://www.freedesktop.org/standards/shared-mime-info"}
root = ET.parse(sys.argv[1]).getroot()
globs = {g.get("pattern"): t.get("type") for t in root.findall("m:mime-type", ns) for g in t.findall("m:glob", ns)}
want = {"*.empf": "application/x-emulsa-project", "*.empreset": "application/x-emulsa-preset",
        "*.empresets": "application/x-emulsa-preset"}
for pattern, kind in want.items():
    if globs.get(pattern) != kind:
        sys.exit("%s maps to %s, not %s" % (pattern, globs.get(pattern), kind))
PY
if command -v update-mime-database > /dev/null; then
  update-mime-database "$share/mime" || fail "update-mime-database refused the file types"
  grep -q "application/x-emulsa-project:\*\.empf" "$share/mime/globs" || fail "the MIME database lacks *.empf"
fi
grep -q "^MimeType=application/x-emulsa-project;" "$share/applications/$app_id.desktop" \
  || fail "the desktop entry does not open projects"

for icon in "apps/$app_id" mimetypes/application-x-emulsa-project mimetypes/application-x-emulsa-preset; do
  [ -f "$share/icons/hicolor/scalable/$icon.svg" ] || fail "no scalable $icon"
  for size in 16 32 48 128 256; do
    [ -s "$share/icons/hicolor/${size}x${size}/$icon.png" ] || fail "no ${size}px $icon"
  done
done

# Each manual page renders and names every option its program's --help gives.
for program in emulsa emulsa-render emulsa-filmdata; do
  page=$share/man/man1/$program.1.gz
  if ! text=$(MANWIDTH=100 man -l "$page" 2> "$work/man.err") || [ -s "$work/man.err" ]; then
    fail "the manual page of $program does not render: $(cat "$work/man.err")"
    continue
  fi
  text=$(printf '%s' "$text" | sed 's/\x1b\[[0-9;]*m//g; s/.\x08//g')
  for option in $(QT_QPA_PLATFORM=offscreen "$prefix/bin/$program" --help 2>/dev/null | grep -oE -- '--[a-z][a-z-]+' | sort -u); do
    grep -qF -- "$option" <<< "$text" || fail "the manual page of $program lacks $option"
  done
done

bash -n "$share/bash-completion/completions/emulsa-render" || fail "the completion does not parse"

# The installed renderer finds its film data next to itself.
demo=$build/share/demo/emulsa_demo.mp4
if [ -f "$demo" ]; then
  if env -u PROGRAMDATA "$prefix/bin/emulsa-render" -q --out 5 -s 320x180 -f preview -o "$work/out" "$demo" > "$work/render.log" 2>&1; then
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$work/out/emulsa_demo.mov")
    [ "$frames" = 5 ] || fail "the installed renderer wrote $frames frames, not 5"
  else
    fail "the installed renderer failed: $(cat "$work/render.log")"
  fi
else
  fail "no demo clip in the build ($demo)"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed tree checked: programs, data, desktop entry, metadata, file types, icons, manual pages, completion, render"
