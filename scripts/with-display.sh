#!/usr/bin/env bash
# Runs a command with an X display: the user's own when there is one,
# otherwise a private virtual one (Xvfb) that lives as long as the command.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
# -noreset: the server must not restart when its last client leaves, or a
# test starting at that moment finds no display.
exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$@"
