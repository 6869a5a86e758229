#!/usr/bin/env bash
# Starts the built program from its program folder (where its settings file lives).
# Without a display the program runs on a private X server whose screen is served over
# VNC on 127.0.0.1 only (TigerVNC's Xvnc), behind a password made new at every start and
# kept for the viewer in $XDG_CONFIG_HOME/quorvex/vnc-passwd (default ~/.config/quorvex),
# readable by its owner only. Qt's own VNC platform is not used: it always listens on
# every network interface.
set -euo pipefail
BUILD="${1:-build}"
BIN="$BUILD/bin"
CONF="${XDG_CONFIG_HOME:-$HOME/.config}/quorvex"
case "$CONF" in /*) ;; *) CONF="$PWD/$CONF" ;; esac
if [ -x "$BUILD/prepare-program-folder.sh" ]; then "$BUILD/prepare-program-folder.sh" "$BIN"; fi
cd "$BIN"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./quorvex
fi

for tool in Xvnc vncpasswd xprop; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "run: $tool is missing; scripts/setup.sh installs it" >&2
    exit 1
  fi
done
PORT="${QVX_VNC_PORT:-5900}"
if (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; then
  echo "run: port $PORT on 127.0.0.1 is already in use; choose another with QVX_VNC_PORT=..." >&2
  exit 1
fi

# Every other user of the machine can reach 127.0.0.1: the screen, which drives the program
# with the company file's access, takes a password, new at every start. It is written as
# vncpasswd writes it (what viewers read with -passwd), through a file that mktemp makes
# readable by its owner only, so that it is never readable by others for a moment.
mkdir -p "$CONF"
PASSWD="$CONF/vnc-passwd"
new="$(mktemp "$CONF/.vnc-passwd.XXXXXX")"
if ! head -c 6 /dev/urandom | base64 | vncpasswd -f >"$new"; then
  rm -f "$new"
  echo "run: cannot write the VNC password into $CONF" >&2
  exit 1
fi
chmod 600 "$new"
mv -f "$new" "$PASSWD"

# Xvnc takes the first free display and names it on descriptor 3: no race with another
# server starting at the same time.
LOG="/tmp/quorvex-xvnc-$PORT.log"
DISPLAY_FILE="$(mktemp)"
Xvnc -displayfd 3 -interface 127.0.0.1 -localhost -rfbport "$PORT" \
  -SecurityTypes VncAuth -PasswordFile "$PASSWD" \
  -geometry 1280x800 -depth 24 -AlwaysShared -nolisten tcp 3>"$DISPLAY_FILE" >"$LOG" 2>&1 &
XVNC=$!
APP=""
WM=""
stop() {
  kill $APP $WM "$XVNC" 2>/dev/null || true
  rm -f "$DISPLAY_FILE"
}
trap stop EXIT
trap 'exit 130' INT TERM
N=""
for _ in $(seq 100); do
  N="$(tr -dc 0-9 <"$DISPLAY_FILE")"
  [ -n "$N" ] && [ -e "/tmp/.X11-unix/X$N" ] && break
  if ! kill -0 "$XVNC" 2>/dev/null; then
    echo "run: the VNC server did not start; see $LOG" >&2
    exit 1
  fi
  sleep 0.1
done
export DISPLAY=":$N"

# A small window manager gives the windows title bars, lets dialogs be moved and keeps the
# modal one on top. A window the program maps before the window manager owns the screen
# stays unpainted in the viewer until the first click, so the program starts only once
# the window manager has announced itself on the root window.
if command -v openbox >/dev/null 2>&1; then
  openbox --sm-disable >"/tmp/quorvex-openbox-$PORT.log" 2>&1 &
  WM=$!
  for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then break; fi
    kill -0 "$WM" 2>/dev/null || break
    sleep 0.1
  done
fi

echo "No display found: Quorvex is served over VNC at 127.0.0.1:$PORT (this machine only),"
echo "with a new password at every start in $PASSWD. Connect with:"
echo "  vncviewer -passwd $PASSWD 127.0.0.1:$PORT"
echo "From another machine, tunnel the port (ssh -L $PORT:127.0.0.1:$PORT <this machine>) and"
echo "give the viewer a copy of that file."
echo "Closing the program's window (or Ctrl+C here) stops it."
QT_QPA_PLATFORM=xcb ./quorvex &
APP=$!
wait "$APP"
