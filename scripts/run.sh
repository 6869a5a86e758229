#!/usr/bin/env bash
# Starts the built program from its program folder. Without a display the window is
# served through Qt's VNC platform on 127.0.0.1.
set -euo pipefail
BUILD="${1:-build}"
BIN="$BUILD/bin"
if [ -x "$BUILD/prepare-program-folder.sh" ]; then "$BUILD/prepare-program-folder.sh"; fi
cd "$BIN"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./quorvex
fi
PORT="${QVX_VNC_PORT:-5900}"
echo "No display found: Quorvex is served over VNC at 127.0.0.1:$PORT"
echo "Connect with a VNC viewer, for example:  vncviewer 127.0.0.1:$PORT"
echo "Press Ctrl+C here to stop the program."
exec env QT_QPA_PLATFORM="vnc:addr=127.0.0.1:port=$PORT:size=1280x800" ./quorvex
