#!/usr/bin/env bash
# Runs a command on the current X display, or under a fresh 1920x1080 Xvfb
# when there is none.
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$@"
