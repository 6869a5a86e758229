#!/usr/bin/env bash
# Starts the built program from its program folder (where its settings file lives).
# Without a display the program runs on a private X server whose screen is served over
# VNC on 127.0.0.1 only (TigerVNC's Xvnc), behind a password made new at every start and
# kept for the viewer in $XDG_CONFIG_HOME/quorvex/vnc-passwd (default ~/.config/quorvex),
# readable by its owner only. The X server itself lets in only clients that hold the
# cookie in $XDG_CONFIG_HOME/quorvex/xauthority, new at every start as well. Its logs and
# the window manager's are kept in a folder of the user's own: $XDG_RUNTIME_DIR/quorvex, or
# ${XDG_STATE_HOME:-~/.local/state}/quorvex when there is no private runtime folder.
# Either folder is used only where no other user can have put it or a link on the way to
# it (private_folder below); otherwise the script stops and says why.
# Qt's own VNC platform is not used: it always listens on every network interface.
set -euo pipefail
BUILD="${1:-build}"
BIN="$BUILD/bin"
CONF="${XDG_CONFIG_HOME:-$HOME/.config}/quorvex"
case "$CONF" in /*) ;; *) CONF="$PWD/$CONF" ;; esac
STATE="${XDG_STATE_HOME:-$HOME/.local/state}/quorvex"
case "$STATE" in /*) ;; *) STATE="$PWD/$STATE" ;; esac
if [ -x "$BUILD/prepare-program-folder.sh" ]; then "$BUILD/prepare-program-folder.sh" "$BIN"; fi
cd "$BIN"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec ./quorvex
fi

# Whether DIR is a folder of the user's own that no other user can reach into or replace,
# so that what the screen keeps there is the user's alone. Walked from /, every folder on
# the way belongs to root or the user and no one else may write to it, or it is sticky
# (as /tmp is) and the next step in it is root's or the user's, made by one of them. A
# link is followed only when it stands in such a place, and the folder it leads to is
# walked from / the same way. DIR itself is the user's and 0700. With "make", missing
# folders are made 0700 and DIR is made 0700; without it DIR must already be. Sets WHY
# and fails when DIR is refused.
ME="$(id -u)"
WHY=""
REAL=""
walk_folder() {
  local make="$1" cur=/ part next owner mode parts=()
  IFS=/ read -r -d '' -a parts < <(printf '%s' "$2") || true
  for part in "${parts[@]}"; do
    case "$part" in
      "" | .) continue ;;
      ..) cur="$(dirname "$cur")"; continue ;;
    esac
    next="${cur%/}/$part"
    read -r owner mode <<<"$(stat -c '%u %a' "$cur")"
    mode=$((8#$mode))
    if [ "$owner" != 0 ] && [ "$owner" != "$ME" ]; then
      WHY="$cur belongs to another user"
      return 1
    elif [ $((mode & 8#022)) -ne 0 ] && [ $((mode & 8#1000)) -eq 0 ]; then
      WHY="others can write to $cur, and so replace $next"
      return 1
    fi
    if [ ! -e "$next" ] && [ ! -L "$next" ] && [ -n "$make" ]; then mkdir -m 700 "$next" 2>/dev/null || true; fi
    if [ ! -e "$next" ] && [ ! -L "$next" ]; then
      WHY="$next does not exist${make:+ and cannot be made}"
      return 1
    fi
    if [ $((mode & 8#022)) -ne 0 ]; then
      owner="$(stat -c %u "$next")"
      if [ "$owner" != 0 ] && [ "$owner" != "$ME" ]; then
        WHY="$next was put by another user in $cur, which others can write to"
        return 1
      fi
    fi
    if [ -L "$next" ]; then
      if ! REAL="$(realpath -e -- "$next" 2>/dev/null)"; then
        WHY="$next is a link to nothing"
        return 1
      fi
      walk_folder "" "$REAL" || return 1
      next="$REAL"
    fi
    if [ ! -d "$next" ]; then
      WHY="$next is not a folder"
      return 1
    fi
    cur="$next"
  done
  REAL="$cur"
}
private_folder() {
  local make="${2:-}"
  WHY=""
  walk_folder "$make" "$1" || return 1
  if [ "$(stat -c %u "$REAL")" != "$ME" ]; then
    WHY="$1 belongs to another user"
    return 1
  fi
  if [ "$(stat -c %a "$REAL")" != 700 ] && { [ -z "$make" ] || ! chmod 700 "$REAL"; }; then
    WHY="$1 is open to other users"
    return 1
  fi
}

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
if ! private_folder "$CONF" make; then
  echo "run: $CONF cannot keep the VNC password and the X cookie: $WHY" >&2
  exit 1
fi
PASSWD="$CONF/vnc-passwd"
new="$(mktemp "$CONF/.vnc-passwd.XXXXXX")"
if ! head -c 6 /dev/urandom | base64 | vncpasswd -f >"$new"; then
  rm -f "$new"
  echo "run: cannot write the VNC password into $CONF" >&2
  exit 1
fi
chmod 600 "$new"
mv -f "$new" "$PASSWD"

# The X server's own door: without an authority file any local user could connect to the
# display directly, past the VNC password, and type into the program or read its windows.
# One entry with a new random cookie, written in the authority file's layout (family
# "any" 0xffff, empty address and display number so that it holds for whichever display
# the server takes, the name MIT-MAGIC-COOKIE-1, 16 bytes of cookie), owner-only from the
# start as the password is. A server whose authority file is missing or empty lets
# everybody in, so it starts only once the file stands.
AUTH="$CONF/xauthority"
new="$(mktemp "$CONF/.xauthority.XXXXXX")"
if ! { printf '\377\377\000\000\000\000\000\022MIT-MAGIC-COOKIE-1\000\020' && head -c 16 /dev/urandom; } >"$new" ||
  [ "$(stat -c %s "$new")" -ne 44 ]; then
  rm -f "$new"
  echo "run: cannot write the X authority file into $CONF" >&2
  exit 1
fi
chmod 600 "$new"
mv -f "$new" "$AUTH"
export XAUTHORITY="$AUTH"

# The logs go into a folder only the user can write to, so that nobody else can plant a
# link where a log is about to be written. A log from an earlier start is removed and
# the new one created afresh (noclobber: a name that stands again is not written through).
LOGS="$STATE"
case "${XDG_RUNTIME_DIR:-}" in
  /*) if private_folder "$XDG_RUNTIME_DIR"; then LOGS="$XDG_RUNTIME_DIR/quorvex"; fi ;;
esac
if ! private_folder "$LOGS" make; then
  echo "run: $LOGS cannot keep the logs: $WHY" >&2
  exit 1
fi
LOG="$LOGS/xvnc-$PORT.log"
WMLOG="$LOGS/openbox-$PORT.log"
rm -f "$LOG" "$WMLOG"
set -o noclobber

# Xvnc takes the first free display and names it on descriptor 3: no race with another
# server starting at the same time.
DISPLAY_FILE="$(mktemp)"
Xvnc -displayfd 3 -interface 127.0.0.1 -localhost -rfbport "$PORT" \
  -SecurityTypes VncAuth -PasswordFile "$PASSWD" -auth "$AUTH" \
  -geometry 1280x800 -depth 24 -AlwaysShared -nolisten tcp 3>>"$DISPLAY_FILE" >"$LOG" 2>&1 &
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
  openbox --sm-disable >"$WMLOG" 2>&1 &
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
