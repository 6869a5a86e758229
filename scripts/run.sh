#!/usr/bin/env bash
# Starts the built program from its program folder (where its settings file lives).
# Without a display the program runs on a private X server whose screen is served over
# VNC on 127.0.0.1 only (TigerVNC's Xvnc). Qt's own VNC platform is not used: it always
# listens on every network interface.
set -euo pipefail
BUILD="${1:-build}"
BIN="$BUILD/bin"
if [ -x "$BUILD/prepare-program-folder.sh" ]; then "$BUILD/prepare-program-folder.sh"; fi
cd "$BIN"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./quorvex
fi

PORT="${QVX_VNC_PORT:-5900}"
if (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; then
  echo "run: port $PORT on 127.0.0.1 is already in use; choose another with QVX_VNC_PORT=..." >&2
  exit 1
fi
# The first free X display number from :50 on.
N=50
while [ -e "/tmp/.X11-unix/X$N" ] || [ -e "/tmp/.X$N-lock" ]; do N=$((N + 1)); done

Xvnc ":$N" -interface 127.0.0.1 -localhost -rfbport "$PORT" -SecurityTypes None \
  -geometry 1280x800 -depth 24 -AlwaysShared -nolisten tcp >"/tmp/quorvex-xvnc-$N.log" 2>&1 &
XVNC=$!
APP=""
WM=""
stop() { kill $APP $WM "$XVNC" 2>/dev/null || true; }
trap stop EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$N" ] && break
  if ! kill -0 "$XVNC" 2>/dev/null; then
    echo "run: the VNC server did not start; see /tmp/quorvex-xvnc-$N.log" >&2
    exit 1
  fi
  sleep 0.1
done

# A small window manager gives the windows title bars, lets dialogs be moved and keeps the
# modal one on top.
if command -v openbox >/dev/null 2>&1; then
  DISPLAY=":$N" openbox --sm-disable >"/tmp/quorvex-openbox-$N.log" 2>&1 &
  WM=$!
fi

echo "No display found: Quorvex is served over VNC at 127.0.0.1:$PORT (this machine only, no password)."
echo "Connect with a VNC viewer, for example:  vncviewer 127.0.0.1:$PORT"
echo "From another machine, tunnel the port first:  ssh -L $PORT:127.0.0.1:$PORT <this machine>"
echo "Closing the program's window (or Ctrl+C here) stops it."
DISPLAY=":$N" QT_QPA_PLATFORM=xcb ./quorvex &
APP=$!
wait "$APP"
