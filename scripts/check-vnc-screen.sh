#!/usr/bin/env bash
# Checks the screen that `make run` serves when there is no display, as a VNC viewer and
# the other users of the machine meet it, with no input at all. Every start runs under
# umask 002 (the default of users with a group of their own), with a configuration folder
# made 0775 by `mkdir -p` as the README suggests. For every start that comes up:
#   - the password, the cookie and the logs are in a folder new to this start, the
#     user's and 0700, in the private runtime folder or else in TMPDIR; the printed
#     viewer command names it; the password is 8 bytes as vncpasswd writes them and the
#     authority file one entry, both readable by their owner only;
#   - a client without the password is refused: VNC authentication is the only security
#     type offered, a client that picks none is turned away, a wrong password fails;
#   - the X display lets in only a client with the cookie, which the program gets through
#     XAUTHORITY; another user (nobody, when this runs as root) can neither open the
#     folder nor get onto the display;
#   - the folder is gone once the screen has ended.
# The runs:
#   - STARTS starts of the program itself, each showing a screen that is not all black
#     within 30 s; its capture is kept as OUTDIR/start-N.jpg, to be looked at;
#   - with a stand-in program: a runtime folder that is not the user's alone (open to
#     others, a link, another user's, a chain of links) is not used, and neither is
#     anything planted under XDG_CONFIG_HOME or XDG_STATE_HOME (another user's folder with
#     a password of theirs, folders at the names of the password and the cookie, a link);
#     a runtime folder reached through another user's link is used by the path the
#     kernel gives it, and a swap of that link lets nobody in; a runtime folder whose name
#     ends in a newline is that folder, not its namesake without the newline; TMPDIR with
#     spaces, a glob, a leading dash and a newline works;
#   - starts that fail: a taken port, a TMPDIR that is not a folder, an X server that
#     does not start, and one that lets clients in without the cookie; each ends with a
#     message of run.sh's own and never prints the viewer command; once the folder is made
#     it is kept, and named.
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
for tool in vncsnapshot vncpasswd python3 timeout xdpyinfo Xvnc; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "check-vnc-screen: $tool is missing; scripts/setup.sh installs it" >&2
    exit 1
  fi
done
mkdir -p "$OUT"
umask 022
ME="$(id -u)"
OTHER=()
if [ "$ME" -eq 0 ] && command -v runuser >/dev/null 2>&1; then OTHER=(runuser -u nobody --); fi

# The scratch folder is the test's alone, named as the kernel names it (no link on the
# way), as run.sh prints the folders it makes. SHARED holds folders every user can write
# to, as /tmp is, inside one of the test's own that every user can reach.
SCRATCH="$(cd -P "$(mktemp -d "$BUILD/vnc-check.XXXXXX")" && pwd)"
SHARED="$(mktemp -d /tmp/qvx-vnc-shared.XXXXXX)"
chmod 755 "$SHARED"
RUN=""
HOLD=""
cleanup() {
  if [ -n "$RUN" ]; then kill "$RUN" 2>/dev/null || true; wait "$RUN" 2>/dev/null || true; fi
  if [ -n "$HOLD" ]; then kill "$HOLD" 2>/dev/null || true; wait "$HOLD" 2>/dev/null || true; fi
  rm -rf "$SCRATCH" "$SHARED"
}
trap cleanup EXIT
mkdir "$SCRATCH/bin"
ln "$BUILD/bin/quorvex" "$SCRATCH/bin/quorvex" 2>/dev/null || cp "$BUILD/bin/quorvex" "$SCRATCH/bin/quorvex"
if [ -x "$BUILD/prepare-program-folder.sh" ]; then
  printf '#!/bin/sh\nexec "%s/prepare-program-folder.sh" "$@"\n' "$BUILD" >"$SCRATCH/prepare-program-folder.sh"
  chmod +x "$SCRATCH/prepare-program-folder.sh"
fi
# A stand-in for the program, for the runs that look at the screen's files only.
mkdir -p "$SCRATCH/standin/bin"
printf '#!/bin/sh\nwhile :; do sleep 1; done\n' >"$SCRATCH/standin/bin/quorvex"
chmod +x "$SCRATCH/standin/bin/quorvex"
# Stand-ins for Xvnc: one that fails, one that lets every client onto the display.
REAL_XVNC="$(command -v Xvnc)"
mkdir -p "$SCRATCH/xvnc-fails" "$SCRATCH/xvnc-open"
printf '#!/bin/sh\necho "Xvnc stand-in: cannot start" >&2\nexit 1\n' >"$SCRATCH/xvnc-fails/Xvnc"
printf '#!/bin/sh\nexec "%s" "$@" -ac\n' "$REAL_XVNC" >"$SCRATCH/xvnc-open/Xvnc"
chmod +x "$SCRATCH/xvnc-fails/Xvnc" "$SCRATCH/xvnc-open/Xvnc"
# Another user's password, readable by them.
WRONG="$SHARED/wrong-passwd"
head -c 6 /dev/urandom | base64 | vncpasswd -f >"$WRONG"
chmod 644 "$WRONG"
# The README's configuration folder, made under umask 002.
(umask 002 && mkdir -p "$SCRATCH/config/quorvex")

FAILED=0
fail() {
  echo "check-vnc-screen: $LABEL: $*" >&2
  FAILED=1
}

# Speaks the start of the protocol: prints the security types the server offers, then
# picks "None" (1) and prints "refused" when the server turns that away.
refuses_without_password() {
  python3 - "$1" <<'PY'
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
PY
}

vnc_gets_in() {
  timeout 10 vncsnapshot -quiet -passwd "$1" -allowblank -encodings "hextile raw" \
    -rect 64x64+0+0 "127.0.0.1::$port" "$SCRATCH/shot.jpg" >/dev/null 2>&1
}

# The process of run.sh's child NAME, once it has started.
child_process() {
  local p pid comm state ppid rest
  for _ in $(seq 100); do
    for p in /proc/[0-9]*; do
      read -r pid comm state ppid rest 2>/dev/null <"$p/stat" || continue
      if [ "$ppid" = "$RUN" ] && [ "$comm" = "($1)" ]; then
        echo "$pid"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}
# The value of variable NAME in the environment of process PID.
environment_value() {
  local v
  while IFS= read -r -d '' v; do
    if [[ "$v" == "$2="* ]]; then
      printf '%s' "${v#*=}"
      return 0
    fi
  done <"/proc/$1/environ"
  return 1
}

x_client_gets_in() {
  XAUTHORITY="$2" timeout 10 xdpyinfo -display "$1" >/dev/null 2>&1
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts run.sh for BUILD under umask 002 with no display, port $port and the given
# environment, and waits until it has printed the viewer command or ended. Sets RUN
# (its process, empty once ended) and STATUS.
start() {
  local build="$1"
  shift
  : >"$SCRATCH/out"
  : >"$SCRATCH/err"
  (
    umask 002
    exec env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u TMPDIR QVX_VNC_PORT="$port" \
      XDG_CONFIG_HOME="$SCRATCH/config" "$@" "$ROOT/scripts/run.sh" "$build" >"$SCRATCH/out" 2>"$SCRATCH/err"
  ) &
  RUN=$!
  STATUS=""
  for _ in $(seq 300); do
    grep -q "vncviewer -passwd" "$SCRATCH/out" && return 0
    if ! kill -0 "$RUN" 2>/dev/null; then
      STATUS=0
      wait "$RUN" || STATUS=$?
      RUN=""
      return 0
    fi
    sleep 0.1
  done
  fail "run.sh neither printed the viewer command nor ended within 30 s: $(cat "$SCRATCH/out" "$SCRATCH/err")"
}

stop_run() {
  if [ -n "$RUN" ]; then
    kill "$RUN" 2>/dev/null || true
    wait "$RUN" 2>/dev/null || true
    RUN=""
  fi
}

# The one folder run.sh made in BASE (named by the kernel's path of BASE), into DIR.
made_in() {
  local found=()
  shopt -s nullglob
  found=("$1"/quorvex-screen.??????????)
  shopt -u nullglob
  DIR=""
  if [ "${#found[@]}" -ne 1 ]; then
    fail "not one folder of the screen in $(printf %q "$1"): ${found[*]-none}; $(cat "$SCRATCH/out" "$SCRATCH/err")"
    return 1
  fi
  DIR="${found[0]}"
}

# The checks of a start that came up, with its folder in BASE; then the screen is ended
# and its folder must be gone.
check_screen() {
  local base="$1" line pid display="" auth="" answer
  if [ -n "$STATUS" ]; then
    fail "run.sh ended ($STATUS) instead of serving the screen: $(cat "$SCRATCH/out" "$SCRATCH/err")"
    return
  fi
  made_in "$base" || { stop_run; return; }
  line="$(printf '  vncviewer -passwd %q 127.0.0.1:%s' "$DIR/vnc-passwd" "$port")"
  if ! grep -qxF -- "$line" "$SCRATCH/out"; then
    fail "the viewer command does not name $(printf %q "$DIR"): $(cat "$SCRATCH/out")"
  fi
  if [ "$(stat -c '%F %u %a' -- "$DIR")" != "directory $ME 700" ]; then
    fail "the folder is not the user's alone: $(stat -c '%F %U %a' -- "$DIR")"
  fi
  if [ "$(stat -c '%F %u %a %s' -- "$DIR/vnc-passwd")" != "regular file $ME 600 8" ]; then
    fail "the password file is not 8 bytes readable by its owner only: $(stat -c '%F %U %a %s' -- "$DIR/vnc-passwd")"
  fi
  if [ "$(stat -c '%F %u %a %s' -- "$DIR/xauthority")" != "regular file $ME 600 44" ]; then
    fail "the X authority file is not one entry readable by its owner only: $(stat -c '%F %U %a %s' -- "$DIR/xauthority")"
  fi
  answer="$(refuses_without_password "$port" 2>&1 || true)"
  [ "$answer" = "offered 2; refused" ] || fail "a client without the password: $answer"
  if vnc_gets_in "$WRONG"; then fail "a wrong password got in"; fi
  vnc_gets_in "$DIR/vnc-passwd" || fail "the password of the viewer command was refused"

  if pid="$(child_process quorvex)"; then
    display="$(environment_value "$pid" DISPLAY || true)"
    auth="$(environment_value "$pid" XAUTHORITY || true)"
  fi
  if [ "$auth" != "$DIR/xauthority" ] || [ -z "$display" ]; then
    fail "the program was not given the display and its authority file: DISPLAY=$display XAUTHORITY=$auth"
  else
    if x_client_gets_in "$display" /dev/null; then fail "a client without the X cookie got onto $display"; fi
    x_client_gets_in "$display" "$DIR/xauthority" || fail "a client with the X cookie was refused by $display"
  fi
  if [ "${#OTHER[@]}" -gt 0 ]; then
    if "${OTHER[@]}" ls -- "$DIR" >/dev/null 2>&1 || "${OTHER[@]}" cat -- "$DIR/vnc-passwd" >/dev/null 2>&1; then
      fail "user nobody can look into $(printf %q "$DIR")"
    fi
    if [ -n "$display" ] &&
      "${OTHER[@]}" env XAUTHORITY="$DIR/xauthority" timeout 10 xdpyinfo -display "$display" >/dev/null 2>&1; then
      fail "user nobody got onto $display"
    fi
  fi
}

# Ends the screen; its folder must be gone.
end_screen() {
  stop_run
  if [ -n "$DIR" ] && { [ -e "$DIR" ] || [ -L "$DIR" ]; }; then
    fail "the folder $(printf %q "$DIR") was left behind: $(ls -la -- "$DIR" 2>&1)"
  fi
}

# A start that fails: status 1, only run.sh's own messages (one naming WHAT), no viewer
# command; KEPT is the folder it must have kept and named, or empty.
check_failed() {
  local what="$1" kept="$2"
  if [ "$STATUS" != 1 ] || grep -q "vncviewer" "$SCRATCH/out" || ! grep -q -- "^run: .*$what" "$SCRATCH/err" ||
    grep -qv '^run: ' "$SCRATCH/err"; then
    fail "status ${STATUS:-running}, not a message of its own naming \"$what\": $(cat "$SCRATCH/out" "$SCRATCH/err")"
  fi
  if [ -n "$kept" ] && ! grep -qF "kept in $(printf %q "$kept")" "$SCRATCH/err"; then
    fail "the folder kept is not named: $(cat "$SCRATCH/err")"
  fi
}

# A folder of the user's that a planted link leads to, with a file in it.
victim_folder() {
  mkdir -m 755 "$1"
  echo planted >"$1/xvnc.log"
}
# A folder's names, permissions and sizes.
listing() {
  (cd "$1" && stat -c '%n %a %s' -- $(ls -A) 2>&1 | tr '\n' ' ')
}

# --- Starts of the program itself: the screen shows it. ---------------------------------
previous=""
for i in $(seq "$STARTS"); do
  LABEL="start $i"
  port="$(free_port)"
  # Odd starts have a private runtime folder, even ones none and a TMPDIR of their own.
  if [ $((i % 2)) -eq 1 ]; then
    base="$SCRATCH/runtime-$i"
    mkdir -m 700 "$base"
    start "$SCRATCH" XDG_RUNTIME_DIR="$base"
  else
    base="$SCRATCH/tmp-$i"
    mkdir -m 755 "$base"
    start "$SCRATCH" TMPDIR="$base"
  fi
  check_screen "$base"
  if [ -n "$DIR" ] && [ -n "$RUN" ]; then
    if [ -n "$previous" ] && cmp -s "$previous" "$DIR/vnc-passwd"; then fail "the password is the one of the start before"; fi
    cp "$DIR/vnc-passwd" "$SCRATCH/previous-passwd"
    previous="$SCRATCH/previous-passwd"
    # -ignoreblank waits for a picture that is not all black. The pointer rests at the
    # centre of the screen, drawn on the black even when no window is: the left part up
    # to it, which every window centred on the screen reaches into, is what is waited for.
    if ! timeout 30 vncsnapshot -quiet -passwd "$DIR/vnc-passwd" -ignoreblank -encodings "hextile raw" \
      -rect 620x800+0+0 "127.0.0.1::$port" "$SCRATCH/left.jpg" >/dev/null 2>&1; then
      fail "the screen stayed black for 30 s"
    fi
    timeout 10 vncsnapshot -quiet -passwd "$DIR/vnc-passwd" -allowblank -encodings "hextile raw" \
      -rect 1280x800+0+0 "127.0.0.1::$port" "$OUT/start-$i.jpg" >/dev/null 2>&1 || true
  fi
  end_screen
done

# --- Folders that are not the user's alone are not used. --------------------------------
# Planted under the configuration and state folders: another user's folder open to all,
# with a password of theirs at the password's name and folders at the cookie's and the
# logs' names; another user's link at the state folder's place to a folder of the user's.
# As an ordinary user, the plants are the user's own, in a folder open to all.
mkdir -m 1777 "$SHARED/config" "$SHARED/state" "$SHARED/shared"
"${OTHER[@]}" mkdir -m 777 "$SHARED/config/quorvex"
"${OTHER[@]}" cp "$WRONG" "$SHARED/config/quorvex/vnc-passwd"
"${OTHER[@]}" mkdir -m 777 "$SHARED/config/quorvex/xauthority" "$SHARED/config/quorvex/xvnc.log"
victim_folder "$SCRATCH/linked-state"
"${OTHER[@]}" ln -s "$SCRATCH/linked-state" "$SHARED/state/quorvex"
planted_config="$(listing "$SHARED/config/quorvex")"
planted_victim="$(listing "$SCRATCH/linked-state")"
PLANTED=(XDG_CONFIG_HOME="$SHARED/config" XDG_STATE_HOME="$SHARED/state")

# TMPDIR with spaces, a glob, a leading dash and a newline; the runtime folders that must
# be passed over for it.
odd="$SCRATCH/-odd dir *"$'\n'
mkdir -m 700 "$odd"
mkdir -m 755 "$SCRATCH/runtime-open"
mkdir -m 700 "$SCRATCH/runtime-real"
ln -s "$SCRATCH/runtime-real" "$SCRATCH/runtime-link"
hostile=("$SCRATCH/runtime-open" "$SCRATCH/runtime-link")
if [ "${#OTHER[@]}" -gt 0 ]; then
  # Another user's private folder, and the user's link to another user's link to a
  # private folder of the user's.
  "${OTHER[@]}" mkdir -m 700 "$SHARED/shared/nobody-runtime"
  "${OTHER[@]}" ln -s "$SCRATCH/runtime-real" "$SHARED/shared/u-runtime"
  ln -s "$SHARED/shared/u-runtime" "$SCRATCH/runtime-chain"
  hostile+=("$SHARED/shared/nobody-runtime" "$SCRATCH/runtime-chain")
else
  echo "check-vnc-screen: not root: folders and links of another user are not tried"
fi
for runtime in "${hostile[@]}"; do
  LABEL="runtime folder $runtime"
  port="$(free_port)"
  start "$SCRATCH/standin" XDG_RUNTIME_DIR="$runtime" TMPDIR="$odd" "${PLANTED[@]}"
  check_screen "$odd"
  end_screen
  if [ -n "$(ls -A "$SCRATCH/runtime-real")" ] || [ -n "$(ls -A "$SCRATCH/runtime-open")" ]; then
    fail "the runtime folder was written: $(ls -A "$SCRATCH/runtime-real" "$SCRATCH/runtime-open")"
  fi
  [ "$(listing "$SHARED/config/quorvex")" = "$planted_config" ] ||
    fail "the planted configuration folder was changed: $(ls -la "$SHARED/config/quorvex")"
  [ "$(listing "$SCRATCH/linked-state")" = "$planted_victim" ] ||
    fail "the folder a planted link leads to was changed: $(ls -la "$SCRATCH/linked-state")"
done

# A runtime folder whose name ends in a newline is that folder, not its namesake.
LABEL="a runtime folder whose name ends in a newline"
port="$(free_port)"
mkdir -m 700 "$SCRATCH/runtime-nl"$'\n' "$SCRATCH/runtime-nl"
start "$SCRATCH/standin" XDG_RUNTIME_DIR="$SCRATCH/runtime-nl"$'\n' TMPDIR="$odd"
check_screen "$SCRATCH/runtime-nl"$'\n'
end_screen

# A private runtime folder reached through another user's link (or the user's own, when
# not root), which they then turn to a folder of theirs holding a password of theirs at
# the path of the screen's folder: the screen still takes only its own password, found
# at the path the start printed.
LABEL="a runtime folder behind a link that is swapped"
port="$(free_port)"
mkdir -m 755 "$SCRATCH/real"
mkdir -m 700 "$SCRATCH/real/rt"
"${OTHER[@]}" ln -s "$SCRATCH/real" "$SHARED/shared/u-cfg"
ln -s "$SHARED/shared/u-cfg" "$SCRATCH/cfglink"
start "$SCRATCH/standin" XDG_RUNTIME_DIR="$SCRATCH/cfglink/rt"
check_screen "$SCRATCH/real/rt"
if [ -n "$DIR" ] && [ -n "$RUN" ]; then
  name="${DIR##*/}"
  "${OTHER[@]}" mkdir -p -m 755 "$SHARED/shared/evil/rt/$name"
  "${OTHER[@]}" cp "$WRONG" "$SHARED/shared/evil/rt/$name/vnc-passwd"
  "${OTHER[@]}" ln -sfn "$SHARED/shared/evil" "$SHARED/shared/u-cfg"
  if [ "$(readlink "$SHARED/shared/u-cfg")" != "$SHARED/shared/evil" ]; then fail "the link was not swapped"; fi
  if vnc_gets_in "$WRONG"; then fail "the password behind the swapped link got in"; fi
  vnc_gets_in "$DIR/vnc-passwd" || fail "the password at the printed path was refused after the swap"
fi
end_screen

# --- Starts that fail. ----------------------------------------------------------------
LABEL="a taken port"
port="$(free_port)"
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(); time.sleep(120)' "$port" &
HOLD=$!
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
mkdir -m 700 "$SCRATCH/tmp-port"
start "$SCRATCH/standin" TMPDIR="$SCRATCH/tmp-port"
check_failed "port $port on 127.0.0.1 is already in use" ""
[ -z "$(ls -A "$SCRATCH/tmp-port")" ] || fail "a folder was made: $(ls -A "$SCRATCH/tmp-port")"
stop_run
kill "$HOLD" 2>/dev/null || true
wait "$HOLD" 2>/dev/null || true
HOLD=""

LABEL="a TMPDIR that is not a folder"
port="$(free_port)"
echo planted >"$SCRATCH/not-a-folder"
start "$SCRATCH/standin" TMPDIR="$SCRATCH/not-a-folder"
check_failed "not a folder" ""
stop_run

LABEL="an X server that does not start"
port="$(free_port)"
mkdir -m 700 "$SCRATCH/tmp-fails"
start "$SCRATCH/standin" TMPDIR="$SCRATCH/tmp-fails" PATH="$SCRATCH/xvnc-fails:$PATH"
if made_in "$SCRATCH/tmp-fails"; then
  check_failed "the VNC server did not start" "$DIR"
  grep -q "Xvnc stand-in: cannot start" "$DIR/xvnc.log" 2>/dev/null || fail "the kept folder has not the server's log"
fi
stop_run

LABEL="an X server that lets clients in without the cookie"
port="$(free_port)"
mkdir -m 700 "$SCRATCH/tmp-open"
start "$SCRATCH/standin" TMPDIR="$SCRATCH/tmp-open" PATH="$SCRATCH/xvnc-open:$PATH"
if made_in "$SCRATCH/tmp-open"; then check_failed "lets in clients without the cookie" "$DIR"; fi
stop_run
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then fail "the X server was left serving port $port"; fi

if [ "$FAILED" -ne 0 ]; then exit 1; fi
echo "check-vnc-screen: $STARTS starts showing the program and ${#hostile[@]} + 2 with planted folders, each in a new private folder, refused without the password or the X cookie and removed at the end; 4 failing starts stopped with a message; captures in $OUT"
