#!/usr/bin/env bash
# Runs a command with an X display: the user's own when there is one,
# otherwise a private virtual one (Xvfb) that lives as long as the command.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1920x1080x24" "$@"
