#!/usr/bin/env bash
# Starts the built program from its program folder (where its settings file lives).
# Without a display the program runs on a private X server whose screen is served over
# VNC on 127.0.0.1 only (TigerVNC's Xvnc), behind a password made new at every start. The
# X server itself lets in only clients that hold a cookie, new at every start as well.
# The password, the cookie and the logs of one start are kept in a folder that the start
# makes for itself, as ssh-agent keeps its socket: a new name made 0700 in one step, in
# $XDG_RUNTIME_DIR when that is a folder of the user's alone, else in $TMPDIR or /tmp
# (a TMPDIR that other users may write without a sticky bit is passed over, and the start
# says so). No folder of the user's configuration is trusted for them. The folder goes
# when the screen ends; a start that fails keeps it and says where; the next start removes
# those of starts that were killed. The X server and the window manager end with the
# start, even a start that is killed; the program runs with the user's own umask, so that
# the files it writes are made as anywhere else (but for its settings file, which holds
# the company file's password and is the user's alone). Once the program has ended of
# itself, the screen stays while another program's window is open on it (the workbook's
# viewer that Quorvex started), and the start says so; an end signal ends it all at once.
# Qt's own VNC platform is not used: it always listens on every network interface.
set -euo pipefail
MOST_ARGUMENTS=1
USAGE="usage: scripts/run.sh [BUILD]    starts the program built in BUILD (default: build)"
. "$(dirname "$0")/usage.sh"
BUILD="${1:-build}"
BIN="$BUILD/bin"
if [ -x "$BUILD/prepare-program-folder.sh" ]; then "$BUILD/prepare-program-folder.sh" "$BIN"; fi
# The driver as the build registered it for this user (scripts/register-odbc.sh), in place
# of the machine's registration. Its odbc.ini is the user's data-source file as well:
# unixODBC makes an empty ~/.odbc.ini wherever it finds no such file, and nothing is to be
# written to the home folder.
if [ -d "$BUILD/odbc" ] && [ ! -L "$BUILD/odbc" ]; then
  ODBCSYSINI="$(cd "$BUILD/odbc" && pwd)"
  ODBCINI="$ODBCSYSINI/odbc.ini"
  export ODBCSYSINI ODBCINI
  unset ODBCINSTINI
fi
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
# The server listens on both loopback addresses: a port taken on either stops it.
for host in 127.0.0.1 ::1; do
  if (exec 3<>"/dev/tcp/$host/$PORT") 2>/dev/null; then
    echo "run: port $PORT on $host is already in use; choose another with QVX_VNC_PORT=..." >&2
    exit 1
  fi
done

# The screen's folder. The start, Xvnc and the clean-up reach it only through the open
# folder (/dev/fd/N), never by its path again, so that whoever can rename a folder on the
# way to it cannot turn them to another folder of the same name. Only the viewer command
# and XAUTHORITY, which other programs read later, name it by the path the kernel gives
# the open folder (no link on the way). Every file in it is new: noclobber creates each
# name afresh and never writes through one that stands. The program gets the user's own
# umask back: only the screen's secrets are private.
USER_UMASK="$(umask)"
umask 077
ME="$(id -u)"
# Whether the folder open on descriptor FD is PATH itself (no link at its end) and is the
# user's alone: theirs and 0700.
own_folder() {
  local at open
  at="$(stat -c '%F %d:%i' -- "$2" 2>/dev/null)" || return 1
  open="$(stat -L -c '%F %d:%i %u %a' "/dev/fd/$1" 2>/dev/null)" || return 1
  [ "$open" = "$at $ME 700" ]
}
# Whether only the user and root can rename or replace names in the folder open on
# descriptor FD: its owner is one of them, and a folder that others may write to keeps
# their names apart with the sticky bit, as /tmp does. In any other folder another user
# could put a link where the screen's folder was just made.
guarded_folder() {
  local owner mode
  read -r owner mode < <(stat -L -c '%u %a' "/dev/fd/$1" 2>/dev/null) || return 1
  { [ "$owner" = "$ME" ] || [ "$owner" = 0 ]; } && (((8#$mode & 8#022) == 0 || (8#$mode & 8#1000) != 0))
}
BASE=""
BASEFD=""
if [[ "${XDG_RUNTIME_DIR:-}" == /* ]] && [ -d "$XDG_RUNTIME_DIR" ] && [ ! -L "$XDG_RUNTIME_DIR" ] &&
  { exec {BASEFD}<"$XDG_RUNTIME_DIR"; } 2>/dev/null; then
  if own_folder "$BASEFD" "$XDG_RUNTIME_DIR"; then
    BASE="$XDG_RUNTIME_DIR"
  else
    exec {BASEFD}<&-
  fi
fi
for base in "${TMPDIR:-/tmp}" /tmp; do
  [ -z "$BASE" ] || break
  [[ "$base" == /* ]] || continue
  if ! [ -d "$base" ] || ! { exec {BASEFD}<"$base"; } 2>/dev/null; then
    echo "run: $(printf %q "$base") is not a folder that can be opened; the screen's password and cookie need one" >&2
    exit 1
  fi
  if guarded_folder "$BASEFD"; then
    BASE="$base"
  else
    exec {BASEFD}<&-
    if [ "$base" = /tmp ]; then
      echo "run: other users may rename or replace what is in /tmp (it lacks the sticky bit); set TMPDIR to a folder of your own" >&2
      exit 1
    fi
    echo "run: TMPDIR $(printf %q "$base") is not used: other users may rename or replace what is in it (it is theirs, or lacks the sticky bit); the screen's folder is made in /tmp" >&2
  fi
done
# The screen's files; the window manager keeps a copy of its messages in a folder openbox
# of the screen's folder (its cache folder, which would else be in the home folder).
FILES=(vnc-passwd xauthority display xvnc.log openbox.log openbox/openbox.log end-notice)

# A start holds a lock on its folder while it runs, and its X server, which inherits the
# open folder, holds it as long as it runs. A folder of the user's alone that no one holds
# is one of a start that was killed (one that failed keeps its folder, marked "kept"):
# its files go, through the folder opened and checked here, and then the folder, only
# while its name still names it (and rmdir removes an empty folder alone).
for path in "/dev/fd/$BASEFD"/quorvex-screen.??????????; do
  [ -d "$path" ] && [ ! -L "$path" ] || continue
  { exec {fd}<"$path"; } 2>/dev/null || continue
  if own_folder "$fd" "$path" && [ ! -e "/dev/fd/$fd/kept" ] && flock -n "$fd"; then
    for f in "${FILES[@]}"; do rm -f -- "/dev/fd/$fd/$f" 2>/dev/null || true; done
    rmdir -- "/dev/fd/$fd/openbox" 2>/dev/null || true
    if [ "$(stat -c %d:%i -- "$path" 2>/dev/null)" = "$(stat -L -c %d:%i "/dev/fd/$fd")" ]; then
      rmdir -- "$path" 2>/dev/null || true
    fi
  fi
  exec {fd}<&-
done

# The new folder is taken only when the name still names it: a link put there instead
# (to another private folder of the user's, say) is seen as such, not followed. Another
# start clearing away killed starts' folders may take it before it is locked: then a
# new one is made.
DIRFD=""
for _ in $(seq 10); do
  if ! made="$(mktemp -d "/dev/fd/$BASEFD/quorvex-screen.XXXXXXXXXX" 2>&1)"; then
    echo "run: cannot make a folder for the screen's password and cookie in $(printf %q "$BASE"): ${made##*: }" >&2
    exit 1
  fi
  NAME="${made##*/}"
  at="/dev/fd/$BASEFD/$NAME"
  DIRFD=""
  if [ -L "$at" ] || [ ! -d "$at" ] || ! { exec {DIRFD}<"$at"; } 2>/dev/null || ! own_folder "$DIRFD" "$at" ||
    ! DIR="$(readlink -- "/dev/fd/$DIRFD" 2>/dev/null && echo x)" || ! DIR="${DIR%$'\n'x}" || ! own_folder "$DIRFD" "$DIR"; then
    if [ -e "$at" ] || [ -L "$at" ]; then
      echo "run: the folder made for the screen in $(printf %q "$BASE") ($NAME) was replaced or cannot be named; it is left there" >&2
      exit 1
    fi
  elif flock -n "$DIRFD" && [ "$(stat -L -c %h "/dev/fd/$DIRFD")" != 0 ]; then
    break
  fi
  if [ -n "$DIRFD" ]; then exec {DIRFD}<&-; fi
  DIRFD=""
done
if [ -z "$DIRFD" ]; then
  echo "run: every folder made for the screen in $(printf %q "$BASE") was taken away at once" >&2
  exit 1
fi
IN="/dev/fd/$DIRFD"

# A start that fails keeps the folder, with the logs, and says where; otherwise the folder
# goes when the screen ends.
KEEP=""
APP=""
WM=""
XVNC=""
# The time the program is given to end once asked to (as Exit ends it: a report stopped, its
# settings written); then it is killed.
END_GRACE=10
# On a full file system the password, the cookie or a log is written only in part: the
# message says so rather than pointing at an empty log.
fail() {
  local free
  free="$(stat -f -c '%a %S' "$IN" 2>/dev/null | { read -r blocks size && echo $((blocks * size / 1024)); })" || free=""
  if [ -n "$free" ] && [ "$free" -lt 1024 ]; then
    set -- "$*; its file system is full ($free KiB free)"
  fi
  echo "run: $*; the screen's files are kept in $(printf %q "$DIR")" >&2
  KEEP=1
  # Not a killed start's folder, for the next start to clear away.
  { echo "run: $*" >"$IN/kept"; } 2>/dev/null || true
  exit 1
}
alive() {
  local state
  read -r _ _ state _ 2>/dev/null <"/proc/$1/stat" && [ "$state" != Z ]
}
# Waits for the program's end, within the grace; one still there then is killed.
await_program() {
  for _ in $(seq $((END_GRACE * 10))); do alive "$APP" || break; sleep 0.1; done
  kill -KILL "$APP" 2>/dev/null || true
  wait "$APP" 2>/dev/null || true
}
# Whether the program took an end signal itself: it tells so at once on the notice pipe,
# from its signal handler; a signal of a group sent to both may still wait for it to take
# it, or be in its handler for a moment.
program_got_one() {
  local key mask
  [ -n "$NOTICE" ] || return 1
  read -r -t 0 -u "$NOTICE" 2>/dev/null && return 0
  while read -r key mask; do
    # SIGHUP, SIGINT, SIGTERM pending for the process as a whole.
    [ "$key" != ShdPnd: ] || (((16#$mask & 16#4003) == 0)) || return 0
  done 2>/dev/null <"/proc/$APP/status"
  read -r -N 1 -t 0.2 -u "$NOTICE" _ 2>/dev/null
}
# A signal for the start (Ctrl+C, a closed terminal, kill, a logout) ends the program first,
# as its Exit ends it, while its display is still there: a program whose display goes ends
# with an X error instead. A signal sent to the start's whole group (the terminal's, the
# shell's passing on the hang-up, a kill of the group, timeout) reaches the program too:
# it is passed on only to a program that did not get it itself, where a copy would be one
# signal more. A second Ctrl+C reaches the program directly, in the terminal's foreground
# group, and ends it at once. While the program is being started its process is not known
# yet: the signal is passed on as soon as it is.
end_program() {
  ENDING="$1"
  if [ -n "$LAUNCHING" ] && [ -z "$APP" ]; then return; fi
  if [ -n "$APP" ]; then
    program_got_one || kill -"$1" "$APP" 2>/dev/null || true
    await_program
    APP=""
  fi
  exit 130
}
stop() {
  trap '' INT TERM HUP
  # A start that ends on an error while its program runs asks it to end as well.
  if [ -n "$APP" ]; then
    kill -TERM "$APP" 2>/dev/null || true
    await_program
  fi
  kill $WM $XVNC 2>/dev/null || true
  wait $WM $XVNC 2>/dev/null || true
  if [ -z "$KEEP" ]; then
    for f in "${FILES[@]}"; do rm -f -- "$IN/$f" 2>/dev/null || true; done
    rmdir -- "$IN/openbox" 2>/dev/null || true
    rmdir -- "/dev/fd/$BASEFD/$NAME" 2>/dev/null || echo "run: $(printf %q "$DIR") could not be removed" >&2
  fi
}
NOTICE=""
LAUNCHING=""
ENDING=""
trap stop EXIT
# Further end signals are ignored from the first command of the first one's trap on, so
# that none cuts the program's end or the clean-up short (bash runs a trap between two
# commands, and would run a second signal's within the first one's).
for sig in INT TERM HUP; do
  trap "trap '' INT TERM HUP; end_program $sig" "$sig"
done
set -o noclobber

# Every other user of the machine can reach 127.0.0.1: the screen, which drives the program
# with the company file's access, takes a password, new at every start, written as
# vncpasswd writes it (what viewers read with -passwd).
if ! { head -c 6 /dev/urandom | base64 | vncpasswd -f >"$IN/vnc-passwd"; } 2>/dev/null ||
  [ "$(stat -c '%F %s' "$IN/vnc-passwd" 2>/dev/null)" != "regular file 8" ]; then
  fail "cannot write the VNC password"
fi

# The X server's own door: without an authority file any local user could connect to the
# display directly, past the VNC password, and type into the program or read its windows.
# One entry with a new random cookie, written in the authority file's layout (family
# "any" 0xffff, empty address and display number so that it holds for whichever display
# the server takes, the name MIT-MAGIC-COOKIE-1, 16 bytes of cookie). A server whose
# authority file is missing or empty lets everybody in, so it starts only once the file
# stands, and the start goes on only once a client without the cookie is refused.
if ! { { printf '\377\377\000\000\000\000\000\022MIT-MAGIC-COOKIE-1\000\020' && head -c 16 /dev/urandom; } >"$IN/xauthority"; } 2>/dev/null ||
  [ "$(stat -c '%F %s' "$IN/xauthority" 2>/dev/null)" != "regular file 44" ]; then
  fail "cannot write the X authority file"
fi
export XAUTHORITY="$DIR/xauthority"

# The server and the window manager end with the start, however it ends, so that neither
# holds the port or the display after it: setpriv gives them a parent-death signal, which
# even a SIGKILL of the start sends, and they run only if the start is still their parent
# once it is set (a start killed before that moment sends none). They run in a session of
# their own, so that the terminal's Ctrl+C and hang-up reach the start and the program
# only: the screen stays until the program has ended. (setsid makes its session without a
# new process here, as the start's children lead no process group; were it to fork, the
# parent check would fail and nothing would run without its parent-death signal.)
ENDS_WITH_START=(setsid setpriv --pdeathsig TERM sh -c '[ "$PPID" = "$0" ] && exec "$@"' "$$")

# Xvnc takes the first free display and names it on descriptor 3: no race with another
# server starting at the same time. It reads the password at every connection, through
# the open folder it inherits (and holds the folder's lock with it).
{
  "${ENDS_WITH_START[@]}" Xvnc -displayfd 3 -interface 127.0.0.1 -localhost -rfbport "$PORT" \
    -SecurityTypes VncAuth -PasswordFile "$IN/vnc-passwd" -auth "$IN/xauthority" \
    -geometry 1280x800 -depth 24 -AlwaysShared -nolisten tcp \
    3>"$IN/display" >"$IN/xvnc.log" 2>&1 {BASEFD}<&- &
} 2>/dev/null
XVNC=$!
N=""
for _ in $(seq 100); do
  N="$(tr -dc 0-9 2>/dev/null <"$IN/display")" || N=""
  [ -n "$N" ] && [ -S "/tmp/.X11-unix/X$N" ] && break
  kill -0 "$XVNC" 2>/dev/null || fail "the VNC server did not start (see xvnc.log)"
  sleep 0.1
done
if [ -z "$N" ] || [ ! -S "/tmp/.X11-unix/X$N" ]; then
  fail "the VNC server opened no display within 10 s (see xvnc.log)"
fi
export DISPLAY=":$N"
if XAUTHORITY=/dev/null xprop -root >/dev/null 2>&1; then
  fail "the display $DISPLAY lets in clients without the cookie"
fi

# A small window manager gives the windows title bars, lets dialogs be moved and keeps the
# modal one on top. A window the program maps before the window manager owns the screen
# stays unpainted in the viewer until the first click, so the program starts only once
# the window manager has announced itself on the root window.
if command -v openbox >/dev/null 2>&1; then
  XDG_CACHE_HOME="$DIR" "${ENDS_WITH_START[@]}" openbox --sm-disable >"$IN/openbox.log" 2>&1 {BASEFD}<&- {DIRFD}<&- &
  WM=$!
  for _ in $(seq 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then break; fi
    kill -0 "$WM" 2>/dev/null && kill -0 "$XVNC" 2>/dev/null || break
    sleep 0.1
  done
fi
# Whether a client other than the program still has a window open on the screen: one of
# the windows the window manager manages (it lists none of its own), or with no window
# manager one shown on the root window that is no menu. The program's own windows, still
# there for a moment once it has ended, name its process.
others_open() {
  local ids id shown pid
  if [ -n "$WM" ]; then
    ids="$(timeout 10 xprop -root -notype -f _NET_CLIENT_LIST 32x ' $0+' _NET_CLIENT_LIST 2>/dev/null)" || return 1
  else
    ids="$(timeout 10 xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) .*/\1/p')" || return 1
  fi
  for id in ${ids//,/ }; do
    [[ "$id" == 0x* ]] || continue
    if [ -z "$WM" ]; then
      shown="$(timeout 10 xwininfo -id "$id" 2>/dev/null)" || continue
      [[ "$shown" == *"Map State: IsViewable"* && "$shown" == *"Override Redirect State: no"* ]] || continue
    fi
    # A window gone meanwhile is no longer open.
    pid="$(timeout 10 xprop -id "$id" -notype -f _NET_WM_PID 32c ' $0' _NET_WM_PID 2>/dev/null)" || continue
    [ "$pid" = "_NET_WM_PID $ENDED" ] || return 0
  done
  return 1
}
# The viewer command only for a screen that is there.
x_server_up() {
  kill -0 "$XVNC" 2>/dev/null && timeout 10 xprop -root >/dev/null 2>&1
}
x_server_up || fail "the VNC server ended during the start (see xvnc.log)"

echo "No display found: Quorvex is served over VNC at 127.0.0.1:$PORT (this machine only)."
echo "Its password, new at every start, and its logs are kept until the screen ends in"
echo "$(printf %q "$DIR"). Connect with:"
printf '  vncviewer -passwd %q 127.0.0.1:%s\n' "$DIR/vnc-passwd" "$PORT"
echo "From another machine, tunnel the port (ssh -L $PORT:127.0.0.1:$PORT <this machine>) and"
echo "give the viewer a copy of that file. X tools reach the display $DISPLAY with"
echo "XAUTHORITY=$(printf %q "$XAUTHORITY")."
echo "Closing the program's window (or Ctrl+C here) stops it."
# The program's notice that it got an end signal itself comes on a pipe that the start alone
# reads; the program keeps it from whatever it starts.
mkfifo -m 600 "$IN/end-notice" 2>/dev/null && { exec {NOTICE}<>"$IN/end-notice"; } 2>/dev/null ||
  fail "cannot make the pipe for the program's notice of a signal"
rm -f -- "$IN/end-notice"
# The program gets the end signals as the start got them (a signal that came meanwhile has
# the start ignore them).
LAUNCHING=1
(trap - INT TERM HUP && umask "$USER_UMASK" && QVX_END_NOTICE_FD="$NOTICE" QT_QPA_PLATFORM=xcb exec ./quorvex {BASEFD}<&- {DIRFD}<&-) &
APP=$!
LAUNCHING=""
if [ -n "$ENDING" ]; then end_program "$ENDING"; fi
status=0
wait "$APP" || status=$?
ENDED="$APP"
APP=""
# A program that ended because its display went is no ordinary end.
x_server_up || fail "the VNC server ended before the program (see xvnc.log)"
# A program the program started (the workbook's viewer) may still have a window open on
# the screen, with edits not yet saved: the screen stays until the last such window closes,
# unless the program ended on an end signal of its own (it told so on the notice pipe). A
# signal for the start meanwhile ends everything at once, as it would have before.
if ! read -r -t 0 -u "$NOTICE" 2>/dev/null && others_open; then
  echo "Quorvex has ended, but another program's window (the workbook's viewer) is still open on its screen:" \
    "close it to end the screen, or press Ctrl+C to end it now."
  while others_open; do read -r -t 1 -u "$NOTICE" _ 2>/dev/null || true; done
fi
exit "$status"
