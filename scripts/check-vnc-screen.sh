#!/usr/bin/env bash
# Checks the screen that `make run` serves when there is no display, as a VNC viewer meets
# it, with no input at all. For each of STARTS starts of scripts/run.sh, each on a free
# port with a configuration folder of its own:
#   - the password file is new, 8 bytes as vncpasswd writes them, readable by its owner
#     only, and the printed viewer command names it;
#   - a client without the password is refused: VNC authentication is the only security
#     type offered, a client that picks none is turned away, and a wrong password fails;
#   - a client with the password file gets in and, within 30 s, sees a screen that is not
#     all black (the program's first window, painted), with no input at all;
#   - the X display itself lets in only a client with the cookie of the authority file
#     (new, owner-only, handed to the program through XAUTHORITY): a client without it is
#     refused, and so is another local user (nobody, when this runs as root);
#   - the logs are written in the user's private folder (the runtime folder when it is
#     private, else the state folder), and a link standing at a log's name is not written
#     through.
# And before the starts: a configuration or state folder in a folder others can write to,
# made there by another user (nobody, when this runs as root) or a link put there, stops
# run.sh at once with a message naming it; nothing is written into the planted folder and
# the folder a planted link leads to keeps its permissions and its files.
# Each start's capture is kept as OUTDIR/start-N.jpg, to be looked at.
#
#   scripts/check-vnc-screen.sh [BUILD] [STARTS] [OUTDIR]     (default: build 5 BUILD/vnc-screen)
#
# The program runs from a scratch program folder inside BUILD: the build's own settings
# file is left alone.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
STARTS="${2:-5}"
OUT="${3:-$BUILD/vnc-screen}"
for tool in vncsnapshot vncpasswd python3 timeout xdpyinfo; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "check-vnc-screen: $tool is missing; scripts/setup.sh installs it" >&2
    exit 1
  fi
done
mkdir -p "$OUT"

SCRATCH="$(mktemp -d "$BUILD/vnc-check.XXXXXX")"
# Folders every user can write to, as /tmp is, inside one of the test's own that every
# user can reach (the scratch folder is the test's alone).
SHARED="$(mktemp -d /tmp/qvx-vnc-shared.XXXXXX)"
RUN=""
cleanup() {
  if [ -n "$RUN" ]; then kill "$RUN" 2>/dev/null || true; wait "$RUN" 2>/dev/null || true; fi
  rm -rf "$SCRATCH" "$SHARED"
}
trap cleanup EXIT
mkdir "$SCRATCH/bin"
ln "$BUILD/bin/quorvex" "$SCRATCH/bin/quorvex" 2>/dev/null || cp "$BUILD/bin/quorvex" "$SCRATCH/bin/quorvex"
if [ -x "$BUILD/prepare-program-folder.sh" ]; then
  printf '#!/bin/sh\nexec "%s/prepare-program-folder.sh" "$@"\n' "$BUILD" >"$SCRATCH/prepare-program-folder.sh"
  chmod +x "$SCRATCH/prepare-program-folder.sh"
fi
head -c 6 /dev/urandom | base64 | vncpasswd -f >"$SCRATCH/wrong-passwd"

FAILED=0
fail() {
  echo "check-vnc-screen: start $i: $*" >&2
  FAILED=1
}

# Speaks the start of the protocol: prints the security types the server offers, then
# picks "None" (1) and prints "refused" when the server turns that away.
refuses_without_password() {
  python3 - "$1" <<'EOF'
import socket, struct, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
def read(n):
    data = b""
    while len(data) < n:
        part = s.recv(n - len(data))
        if not part:
            return None
        data += part
    return data
read(12)
s.sendall(b"RFB 003.008\n")
count = read(1)[0]
types = list(read(count)) if count else []
s.sendall(bytes([1]))
result = read(4)
offered = " ".join(str(t) for t in types)
refused = result is None or struct.unpack(">I", result)[0] != 0
print(f"offered {offered}; {'refused' if refused else 'let in'}")
EOF
}

# The environment of run.sh's child NAME, one variable a line, once it has started.
child_environment() {
  local p pid comm state ppid rest
  for _ in $(seq 100); do
    for p in /proc/[0-9]*; do
      read -r pid comm state ppid rest <"$p/stat" 2>/dev/null || continue
      if [ "$ppid" = "$RUN" ] && [ "$comm" = "($1)" ]; then
        tr '\0' '\n' <"$p/environ"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

# Whether a client gets onto the display: xdpyinfo with the given authority file.
x_client_gets_in() {
  XAUTHORITY="$2" timeout 10 xdpyinfo -display "$1" >/dev/null 2>&1
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# run.sh, with the given environment, no runtime folder and port $port, stops at once and
# names FOLDER; a run.sh that went on is ended within 20 s.
stops_at() {
  local what="$1" folder="$2" log="$SCRATCH/refused.log" status=0
  shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR QVX_VNC_PORT="$port" "$@" \
    timeout 20 "$ROOT/scripts/run.sh" "$SCRATCH" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 1 ] || ! grep -q "^run: $folder cannot keep .*: ." "$log"; then
    echo "check-vnc-screen: $what: run.sh did not stop at $folder (status $status): $(cat "$log")" >&2
    FAILED=1
  fi
}

# A folder of the user's that a planted link leads to, with a file at the log's name.
victim_folder() {
  mkdir -m 755 "$1"
  echo planted >"$1/xvnc-$port.log"
}
victim_untouched() {
  if [ "$(stat -c %a "$2")" != 755 ] || [ "$(cat "$2/xvnc-$port.log")" != planted ] ||
    [ "$(ls -A "$2")" != "xvnc-$port.log" ]; then
    echo "check-vnc-screen: $1: the folder the link leads to was changed: $(stat -c %a "$2"); $(ls -la "$2")" >&2
    FAILED=1
  fi
}

# A link of the user's own in a folder others can write to (and not sticky), where anyone
# could have put it or may replace it.
port="$(free_port)"
mkdir -m 777 "$SHARED/open"
victim_folder "$SCRATCH/linked-open"
ln -s "$SCRATCH/linked-open" "$SHARED/open/quorvex"
stops_at "a link in a folder open to all" "$SHARED/open/quorvex" XDG_CONFIG_HOME="$SCRATCH/config-open" \
  XDG_STATE_HOME="$SHARED/open"
victim_untouched "a link in a folder open to all" "$SCRATCH/linked-open"
if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null 2>&1; then
  chmod 755 "$SHARED"
  mkdir -m 1777 "$SHARED/config" "$SHARED/state"
  # Another user's folder where the password and the cookie would go, open to the user.
  runuser -u nobody -- mkdir -m 777 "$SHARED/config/quorvex"
  stops_at "another user's configuration folder" "$SHARED/config/quorvex" XDG_CONFIG_HOME="$SHARED/config" \
    XDG_STATE_HOME="$SCRATCH/state-planted"
  if [ -n "$(ls -A "$SHARED/config/quorvex")" ]; then
    echo "check-vnc-screen: another user's configuration folder was written: $(ls -A "$SHARED/config/quorvex")" >&2
    FAILED=1
  fi
  # Another user's link from the state folder's place to a folder of the user's.
  victim_folder "$SCRATCH/linked-state"
  runuser -u nobody -- ln -s "$SCRATCH/linked-state" "$SHARED/state/quorvex"
  stops_at "another user's link at the state folder" "$SHARED/state/quorvex" \
    XDG_CONFIG_HOME="$SCRATCH/config-planted" XDG_STATE_HOME="$SHARED/state"
  victim_untouched "another user's link at the state folder" "$SCRATCH/linked-state"
else
  echo "check-vnc-screen: not root: folders planted by another user are not tried"
fi

echo planted >"$SCRATCH/victim"
previous=""
previous_auth=""
for i in $(seq "$STARTS"); do
  port="$(free_port)"
  conf="$SCRATCH/config-$i"
  log="$SCRATCH/run-$i.log"
  # A runtime folder others may read is passed over for the state folder; a private one
  # takes the logs.
  runtime="$SCRATCH/runtime-$i"
  mkdir -p "$runtime"
  if [ $((i % 2)) -eq 1 ]; then
    chmod 755 "$runtime"
    logs="$SCRATCH/state-$i/quorvex"
  else
    chmod 700 "$runtime"
    logs="$runtime/quorvex"
  fi
  mkdir -p "$logs"
  ln -s "$SCRATCH/victim" "$logs/xvnc-$port.log"
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$conf" XDG_RUNTIME_DIR="$runtime" \
    XDG_STATE_HOME="$SCRATCH/state-$i" QVX_VNC_PORT="$port" \
    "$ROOT/scripts/run.sh" "$SCRATCH" >"$log" 2>&1 &
  RUN=$!
  for _ in $(seq 200); do
    grep -q "vncviewer -passwd" "$log" && break
    kill -0 "$RUN" 2>/dev/null || break
    sleep 0.1
  done
  passwd="$conf/quorvex/vnc-passwd"
  if ! grep -qF "vncviewer -passwd $passwd 127.0.0.1:$port" "$log"; then
    fail "run.sh did not print the viewer command: $(cat "$log")"
  elif [ "$(stat -c '%a %s' "$passwd")" != "600 8" ]; then
    fail "the password file is not 8 bytes readable by its owner only: $(stat -c '%a %s' "$passwd")"
  elif [ -n "$previous" ] && cmp -s "$previous" "$passwd"; then
    fail "the password is the one of the start before"
  else
    cp "$passwd" "$SCRATCH/previous-passwd"
    previous="$SCRATCH/previous-passwd"
    answer="$(refuses_without_password "$port" 2>&1 || true)"
    [ "$answer" = "offered 2; refused" ] || fail "a client without the password: $answer"
    if timeout 10 vncsnapshot -quiet -passwd "$SCRATCH/wrong-passwd" -encodings "hextile raw" \
      -rect 1280x800+0+0 "127.0.0.1::$port" "$SCRATCH/wrong.jpg" >/dev/null 2>&1; then
      fail "a wrong password got in"
    fi
    # -ignoreblank waits for a picture that is not all black. The pointer rests at the
    # centre of the screen, drawn on the black even when no window is: the left part up
    # to it, which every window centred on the screen reaches into, is what is waited for.
    if ! timeout 30 vncsnapshot -quiet -passwd "$passwd" -ignoreblank -encodings "hextile raw" \
      -rect 620x800+0+0 "127.0.0.1::$port" "$SCRATCH/left.jpg" >/dev/null 2>&1; then
      fail "the screen stayed black for 30 s"
    fi
    timeout 10 vncsnapshot -quiet -passwd "$passwd" -allowblank -encodings "hextile raw" \
      -rect 1280x800+0+0 "127.0.0.1::$port" "$OUT/start-$i.jpg" >/dev/null 2>&1 || true

    auth="$conf/quorvex/xauthority"
    environment="$(child_environment quorvex || true)"
    display="$(sed -n 's/^DISPLAY=//p' <<<"$environment")"
    if [ "$(stat -c '%a %s' "$auth" 2>&1)" != "600 44" ]; then
      fail "the X authority file is not one entry readable by its owner only: $(stat -c '%a %s' "$auth" 2>&1)"
    elif [ -n "$previous_auth" ] && cmp -s "$previous_auth" "$auth"; then
      fail "the X cookie is the one of the start before"
    elif ! grep -qxF "XAUTHORITY=$auth" <<<"$environment" || [ -z "$display" ]; then
      fail "the program was not given the display and its authority file: $environment"
    else
      cp "$auth" "$SCRATCH/previous-xauthority"
      previous_auth="$SCRATCH/previous-xauthority"
      if x_client_gets_in "$display" /dev/null; then fail "a client without the X cookie got onto $display"; fi
      x_client_gets_in "$display" "$auth" || fail "a client with the X cookie was refused by $display"
      if [ "$(id -u)" -eq 0 ] && command -v runuser >/dev/null 2>&1 &&
        runuser -u nobody -- env XAUTHORITY="$auth" timeout 10 xdpyinfo -display "$display" >/dev/null 2>&1; then
        fail "user nobody got onto $display"
      fi
    fi
    if [ "$(cat "$SCRATCH/victim")" != planted ]; then
      fail "the Xvnc log was written through a link standing at its name"
    elif [ -L "$logs/xvnc-$port.log" ] || [ ! -s "$logs/xvnc-$port.log" ] || [ ! -f "$logs/openbox-$port.log" ]; then
      fail "the logs are not in $logs: $(ls -la "$logs" 2>&1)"
    elif [ "$(stat -c %a "$logs")" != 700 ]; then
      fail "the log folder $logs is not private: $(stat -c %a "$logs")"
    fi
  fi
  kill "$RUN" 2>/dev/null || true
  wait "$RUN" 2>/dev/null || true
  RUN=""
done
if [ "$FAILED" -ne 0 ]; then exit 1; fi
echo "check-vnc-screen: $STARTS starts, each refused without the password or the X cookie and showing the program; captures in $OUT"
