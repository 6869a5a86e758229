#!/usr/bin/env bash
# Checks the screen that `make run` serves when there is no display, as a VNC viewer and
# the other users of the machine meet it, with no input at all. Every start runs under
# umask 002 (the default of users with a group of their own), with a configuration folder
# made 0775 by `mkdir -p` as the README suggests. For every start that comes up:
#   - the password, the cookie and the logs are in a folder new to this start, the
#     user's and 0700, in the private runtime folder or else in TMPDIR; the printed
#     viewer command names it; the password is 8 bytes as vncpasswd writes them and the
#     authority file one entry, both readable by their owner only, and neither is the
#     one of any other start of this run;
#   - the server listens on loopback addresses only; a client without the password is
#     refused: VNC authentication is the only security type offered, a client that picks
#     none is turned away, a wrong password fails;
#   - the program gets the build's driver registration (ODBCSYSINI, its odbc.ini as
#     ODBCINI, no ODBCINSTINI), the user's own umask and no open folder of the start's (nor
#     does the window manager);
#   - the X display lets in only a client with the cookie, which the program gets through
#     XAUTHORITY; another user (nobody, when this runs as root) can neither open the
#     folder nor get onto the display;
#   - the folder is gone once the screen has ended, and nothing is written to the home
#     folder (HOME is a folder of the test's own).
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
#     spaces, a glob, a leading dash and a newline works; a TMPDIR where others may replace
#     names (open to all or to the group without the sticky bit, or another user's) is
#     passed over for /tmp, and the start says so;
#   - starts that fail: a port taken on 127.0.0.1 or on ::1, a TMPDIR that is not a
#     folder, a link put where the screen's folder was just made, an X server that does
#     not start, one that lets clients in without the cookie, one that ends before the
#     program starts; each ends with a message of run.sh's own and never prints the viewer
#     command; once the folder is made it is kept, and named; an X server that ends under
#     the program itself fails the start the same way, after the program, which ends with
#     status 1 and no crash;
#   - the program's own status is the start's; a second signal does not cut the clean-up
#     short; a start that fails on a full file system says so;
#   - a SIGTERM to the start's whole group reaches the program once (the start sends it
#     none of its own), one to the start alone is passed on; the program itself, ended by
#     a SIGTERM to the group, by SIGTERMs or SIGHUPs 1 ms apart, by a SIGTERM to the start
#     alone and by a closed terminal (tmux), leaves its folder as File > Exit does, and
#     nothing runs on; a SIGTERM that comes as the start launches the program still ends it;
#   - after File > Exit with another program's window still open on the screen (a stand-in
#     for the workbook's viewer), the start says so and keeps the screen until that window
#     closes, ending with the program's status; an end signal meanwhile ends it, the viewer
#     too;
#   - a start killed with SIGKILL takes its X server and window manager with it, even
#     killed before they have their parent-death signal (a slowed setpriv); the next start
#     removes its folder, but not one a failed start kept, another user's, nor the folder
#     of a start still running.
#
# The program runs from a scratch program folder inside BUILD: the build's own settings
# file is left alone. The check waits only for what the start and the programs tell (a
# line, a file, a window, an end), never for a guessed time: the start's own waits are
# bounded, and the time it grants the program to end is read from it.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
MOST_ARGUMENTS=3
USAGE="usage: scripts/check-vnc-screen.sh [BUILD] [STARTS] [OUTDIR]    (default: build 5 BUILD/vnc-screen)"
. "$ROOT/scripts/usage.sh"
BUILD="$(cd "${1:-build}" && pwd)"
STARTS="${2:-5}"
OUT="${3:-$BUILD/vnc-screen}"
for tool in vncsnapshot vncpasswd python3 xdpyinfo xdotool tmux Xvnc; do
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
# The terminal's server, of the check's own.
TMUX_AT=(tmux -L "qvx-check-$$" -f /dev/null)
cleanup() {
  if [ -n "$RUN" ]; then kill "$RUN" 2>/dev/null || true; wait "$RUN" 2>/dev/null || true; fi
  if [ -n "$HOLD" ]; then kill "$HOLD" 2>/dev/null || true; wait "$HOLD" 2>/dev/null || true; fi
  "${TMUX_AT[@]}" kill-server 2>/dev/null || true
  rm -f "${TMUX_TMPDIR:-/tmp}/tmux-$ME/qvx-check-$$"
  rm -rf "$SCRATCH" "$SHARED"
}
trap cleanup EXIT
mkdir "$SCRATCH/bin" "$SCRATCH/home"
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
# A window manager that ends the X server of its start (the start's child Xvnc) and waits
# until it is gone, then fails as a program that lost its display; and the program itself,
# run by a wrapper that does the same once the program's main window is shown, and keeps
# the program's own status.
cat >"$SCRATCH/ends-x" <<'SH'
#!/bin/bash
for p in /proc/[0-9]*; do
  read -r pid comm _ ppid _ 2>/dev/null <"$p/stat" || continue
  [ "$ppid" = "$1" ] && [ "$comm" = "(Xvnc)" ] || continue
  kill "$pid"
  while read -r _ _ state _ 2>/dev/null <"$p/stat" && [ "$state" != Z ]; do sleep 0.1; done
done
SH
mkdir -p "$SCRATCH/wm-ends-x" "$SCRATCH/lost/bin"
printf '#!/bin/sh\n%q "$PPID"\necho "stand-in: could not connect to display" >&2\nexit 1\n' "$SCRATCH/ends-x" >"$SCRATCH/wm-ends-x/openbox"
cat >"$SCRATCH/lost/bin/quorvex" <<SH
#!/bin/bash
"\$0-real" "\$@" &
until xdotool search --onlyvisible --name '^Quorvex\$' >/dev/null 2>&1 || ! read -r _ _ state _ 2>/dev/null </proc/\$!/stat ||
  [ "\$state" = Z ]; do sleep 0.1; done
$(printf %q "$SCRATCH/ends-x") "\$PPID"
wait \$!
echo \$? >$(printf %q "$SCRATCH/lost/status")
SH
ln "$SCRATCH/bin/quorvex" "$SCRATCH/lost/bin/quorvex-real" 2>/dev/null || cp "$SCRATCH/bin/quorvex" "$SCRATCH/lost/bin/quorvex-real"
if [ -e "$SCRATCH/prepare-program-folder.sh" ]; then cp -p "$SCRATCH/prepare-program-folder.sh" "$SCRATCH/lost/"; fi
chmod +x "$SCRATCH/ends-x" "$SCRATCH/wm-ends-x/openbox" "$SCRATCH/lost/bin/quorvex"
# A mktemp that, once the folder is made, puts a link to another private folder of the
# user's at its name, as another user who may write TMPDIR could.
mkdir -p "$SCRATCH/mktemp-swaps"
cat >"$SCRATCH/mktemp-swaps/mktemp" <<SH
#!/bin/bash
made="\$($(command -v mktemp) "\$@")" || exit 1
mv -T -- "\$made" "\$made.aside" && ln -s "$SCRATCH/private" "\$made" && echo "\$made"
SH
chmod +x "$SCRATCH/mktemp-swaps/mktemp"
mkdir -m 700 "$SCRATCH/private"
echo planted >"$SCRATCH/private/authorized_keys"
# The driver registrations run.sh hands to the program: the build's own for the program,
# an empty folder for the stand-ins.
"$ROOT/scripts/register-odbc.sh" "$BUILD" "$SCRATCH/odbc" >/dev/null
mkdir -m 700 "$SCRATCH/standin/odbc"
cp -rp "$SCRATCH/odbc" "$SCRATCH/lost/odbc"
# Another user's password, readable by them.
WRONG="$SHARED/wrong-passwd"
head -c 6 /dev/urandom | base64 | vncpasswd -f >"$WRONG"
chmod 644 "$WRONG"
# The README's configuration folder, made under umask 002.
(umask 002 && mkdir -p "$SCRATCH/config/quorvex")
# One whose date-format question is answered, for the starts that go to the main window.
(umask 002 && mkdir -p "$SCRATCH/ends-config/quorvex" && echo dd/MM/yyyy >"$SCRATCH/ends-config/quorvex/short-date")

FAILED=0
SEEN=0
fail() {
  echo "check-vnc-screen: $LABEL: $*" >&2
  FAILED=1
}

# Speaks the start of the protocol: prints the security types the server offers, then
# picks "None" (1) and prints "refused" when the server turns that away.
refuses_without_password() {
  python3 - "$1" <<'PY'
import socket, struct, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
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
  vncsnapshot -quiet -passwd "$1" -allowblank -encodings "hextile raw" \
    -rect 64x64+0+0 "127.0.0.1::$port" "$SCRATCH/shot.jpg" >/dev/null 2>&1
}

alive() { local state; read -r _ _ state _ 2>/dev/null <"/proc/$1/stat" && [ "$state" != Z ]; }
# The process of the child NAME of process PARENT (the start's by default), once it has
# started; none if the parent ends first.
child_process() {
  local p pid comm state ppid rest parent="${2:-$RUN}"
  while alive "$parent"; do
    for p in /proc/[0-9]*; do
      read -r pid comm state ppid rest 2>/dev/null <"$p/stat" || continue
      if [ "$ppid" = "$parent" ] && [ "$comm" = "($1)" ]; then
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

# The addresses on which something listens at TCP port PORT, from the kernel's tables.
listening_addresses() {
  python3 - "$1" <<'PY'
import socket, sys
port, found = int(sys.argv[1]), []
for table, family in (("/proc/net/tcp", socket.AF_INET), ("/proc/net/tcp6", socket.AF_INET6)):
    try:
        rows = open(table).read().splitlines()[1:]
    except OSError:
        continue
    for row in rows:
        fields = row.split()
        address, at = fields[1].split(":")
        if fields[3] != "0A" or int(at, 16) != port:
            continue
        raw = bytes.fromhex(address)
        # Each 32-bit word of the address is printed in the machine's order.
        raw = b"".join(raw[i:i + 4][::-1] for i in range(0, len(raw), 4))
        found.append(socket.inet_ntop(family, raw))
print(" ".join(sorted(found)))
PY
}

# What a process of the start was given: its umask, and which of the FOLDERS after it it
# holds open. The folders a process opens for a moment of its own (Qt's and fontconfig's
# while they load) come and go; whether it holds one of the start's does not change.
umask_of() {
  sed -n 's/^Umask:[[:space:]]*//p' "/proc/$1/status"
}
open_folders() {
  local folder open
  open=" $(stat -L -c %d:%i "/proc/$1/fd/"* 2>/dev/null | tr '\n' ' ')"
  shift
  for folder in "$@"; do
    if [[ "$open" == *" $(stat -c %d:%i -- "$folder") "* ]]; then printf '%q\n' "$folder"; fi
  done
}

x_client_gets_in() {
  XAUTHORITY="$2" xdpyinfo -display "$1" >/dev/null 2>&1
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Starts run.sh for BUILD under umask 002 with no display, port $port and the given
# environment. Sets RUN (its process, empty once ended) and STATUS (empty while it runs).
launch() {
  local build="$1"
  shift
  : >"$SCRATCH/out"
  : >"$SCRATCH/err"
  STARTED="$build"
  # The step under way, should the test's time run out.
  echo "check-vnc-screen: $LABEL"
  (
    umask 002
    exec env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u TMPDIR -u XDG_CACHE_HOME QVX_VNC_PORT="$port" \
      HOME="$SCRATCH/home" XDG_CONFIG_HOME="$SCRATCH/config" ODBCINSTINI=odbcinst.ini "$@" "$ROOT/scripts/run.sh" "$build" \
      >"$SCRATCH/out" 2>"$SCRATCH/err"
  ) &
  RUN=$!
  STATUS=""
}

# Whether the start has ended; once it has, STATUS is its status and RUN is empty.
ended() {
  [ -n "$RUN" ] || return 0
  ! kill -0 "$RUN" 2>/dev/null || return 1
  STATUS=0
  wait "$RUN" || STATUS=$?
  RUN=""
}

# The waits for the start are bounded by the start itself: each of its own waits (for its
# X server, for its program's end) has a bound of its own, and it never waits for input.
# A wait of the check's that is not is bounded by the test's time.
# Waits for the start to end, setting STATUS.
wait_end() {
  until ended; do sleep 0.1; done
}

# Whether the start has launched its program: a child of the start that began with the
# notice's descriptor in its environment (whatever its name). Until then the start is still
# making its screen's folder what it is while the program runs (its notice pipe comes and
# goes after the viewer command is printed).
launched() {
  local p ppid
  for p in /proc/[0-9]*; do
    read -r _ _ _ ppid _ 2>/dev/null <"$p/stat" && [ "$ppid" = "$RUN" ] || continue
    if grep -qz '^QVX_END_NOTICE_FD=' "$p/environ" 2>/dev/null; then return 0; fi
  done
  return 1
}

# launch, then waits until the start has launched its program or ended.
start() {
  launch "$@"
  until launched || ended; do sleep 0.1; done
}

stop_run() {
  if [ -n "$RUN" ]; then
    kill "$RUN" 2>/dev/null || true
    wait "$RUN" 2>/dev/null || true
    RUN=""
  fi
}

# The one folder run.sh made in BASE (named by the kernel's path of BASE), into DIR. In
# /tmp, where other starts make theirs too, it is the one the start named.
made_in() {
  local found=()
  if [ "$1" = /tmp ]; then
    found=($(sed -n -e 's|^  vncviewer -passwd \(/tmp/quorvex-screen\.[[:alnum:]]\{10\}\)/vnc-passwd .*|\1|p' \
      -e 's|^run: .* kept in \(/tmp/quorvex-screen\.[[:alnum:]]\{10\}\)$|\1|p' "$SCRATCH/out" "$SCRATCH/err"))
  else
    shopt -s nullglob
    found=("$1"/quorvex-screen.??????????)
    shopt -u nullglob
  fi
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
  local base="$1" line pid display="" auth="" answer seen a odbc wm
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
  # Every start's secrets are its own.
  for seen in "$SCRATCH"/seen-*/; do
    if cmp -s "$seen/vnc-passwd" "$DIR/vnc-passwd"; then fail "the password is the one of an earlier start"; break; fi
    if cmp -s "$seen/xauthority" "$DIR/xauthority"; then fail "the X cookie is the one of an earlier start"; break; fi
  done
  SEEN=$((SEEN + 1))
  mkdir "$SCRATCH/seen-$SEEN"
  cp "$DIR/vnc-passwd" "$DIR/xauthority" "$SCRATCH/seen-$SEEN/"
  for a in $(listening_addresses "$port"); do
    [ "$a" = 127.0.0.1 ] || [ "$a" = ::1 ] || fail "the screen listens on $a:$port, not on loopback alone"
  done
  answer="$(refuses_without_password "$port" 2>&1 || true)"
  [ "$answer" = "offered 2; refused" ] || fail "a client without the password: $answer"
  if vnc_gets_in "$WRONG"; then fail "a wrong password got in"; fi
  vnc_gets_in "$DIR/vnc-passwd" || fail "the password of the viewer command was refused"

  if pid="$(child_process quorvex)"; then
    display="$(environment_value "$pid" DISPLAY || true)"
    auth="$(environment_value "$pid" XAUTHORITY || true)"
    odbc="$(environment_value "$pid" ODBCSYSINI || true)"
    [ "$odbc" = "$STARTED/odbc" ] || fail "the program was not given the build's driver registration: ODBCSYSINI=$odbc"
    odbc="$(environment_value "$pid" ODBCINI || true)"
    [ "$odbc" = "$STARTED/odbc/odbc.ini" ] || fail "the program was not given the registration's odbc.ini (unixODBC makes ~/.odbc.ini): ODBCINI=$odbc"
    if environment_value "$pid" ODBCINSTINI >/dev/null; then fail "the program was given ODBCINSTINI, which overrides it"; fi
    [ "$(umask_of "$pid")" = 0002 ] || fail "the program runs with umask $(umask_of "$pid"), not the user's 0002"
    a="$(open_folders "$pid" "$base" "$DIR")"
    [ -z "$a" ] || fail "the program holds folders of the start open: $a"
    if wm="$(child_process openbox)" && a="$(open_folders "$wm" "$base" "$DIR")" && [ -n "$a" ]; then
      fail "the window manager holds folders of the start open: $a"
    fi
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
      "${OTHER[@]}" env XAUTHORITY="$DIR/xauthority" xdpyinfo -display "$display" >/dev/null 2>&1; then
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
    # -ignoreblank waits for a picture that is not all black. The pointer rests at the
    # centre of the screen, drawn on the black even when no window is: the left part up
    # to it, which every window centred on the screen reaches into, is what is waited for.
    if ! vncsnapshot -quiet -passwd "$DIR/vnc-passwd" -ignoreblank -encodings "hextile raw" \
      -rect 620x800+0+0 "127.0.0.1::$port" "$SCRATCH/left.jpg" >/dev/null 2>&1; then
      fail "the screen ended black"
    fi
    vncsnapshot -quiet -passwd "$DIR/vnc-passwd" -allowblank -encodings "hextile raw" \
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

# A TMPDIR where others may rename or replace names (put a link where the screen's folder
# was just made): open to all or to the group without the sticky bit, or (as root, who can
# make one) another user's, sticky or not. It is passed over for /tmp, and the start says
# so. The X server fails at once, so that the start ends by naming the folder it kept.
mkdir "$SCRATCH/tmp-all" "$SCRATCH/tmp-group"
chmod 777 "$SCRATCH/tmp-all"
chmod 2775 "$SCRATCH/tmp-group"
unguarded=("$SCRATCH/tmp-all" "$SCRATCH/tmp-group")
if [ "${#OTHER[@]}" -gt 0 ]; then
  "${OTHER[@]}" mkdir -m 1777 "$SHARED/shared/theirs-tmp"
  unguarded+=("$SHARED/shared/theirs-tmp")
fi
for tmp in "${unguarded[@]}"; do
  LABEL="TMPDIR $tmp"
  port="$(free_port)"
  start "$SCRATCH/standin" TMPDIR="$tmp" PATH="$SCRATCH/xvnc-fails:$PATH"
  if made_in /tmp; then
    check_failed "the VNC server did not start" "$DIR"
    rm -rf -- "$DIR"
  fi
  grep -qF "run: TMPDIR $(printf %q "$tmp") is not used" "$SCRATCH/err" || fail "the start does not say it passed TMPDIR over: $(cat "$SCRATCH/err")"
  [ -z "$(ls -A "$tmp")" ] || fail "the start made $(ls -A "$tmp") there"
  stop_run
done

# --- Starts that fail. ----------------------------------------------------------------
# The server listens on both loopback addresses: a port taken on either is named.
for host in 127.0.0.1 ::1; do
  LABEL="a port taken on $host"
  port="$(free_port)"
  python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET6 if ":" in sys.argv[1] else socket.AF_INET)
s.bind((sys.argv[1], int(sys.argv[2]))); s.listen(); time.sleep(1e9)' "$host" "$port" 2>/dev/null &
  HOLD=$!
  held=""
  while alive "$HOLD"; do
    if (exec 3<>"/dev/tcp/$host/$port") 2>/dev/null; then held=1; break; fi
    sleep 0.1
  done
  if [ -n "$held" ]; then
    rm -rf "$SCRATCH/tmp-port"
    mkdir -m 700 "$SCRATCH/tmp-port"
    start "$SCRATCH/standin" TMPDIR="$SCRATCH/tmp-port"
    check_failed "port $port on $host is already in use" ""
    [ -z "$(ls -A "$SCRATCH/tmp-port")" ] || fail "a folder was made: $(ls -A "$SCRATCH/tmp-port")"
    stop_run
  else
    echo "check-vnc-screen: nothing can listen on $host here: not tried"
  fi
  kill "$HOLD" 2>/dev/null || true
  wait "$HOLD" 2>/dev/null || true
  HOLD=""
done

LABEL="a TMPDIR that is not a folder"
port="$(free_port)"
echo planted >"$SCRATCH/not-a-folder"
start "$SCRATCH/standin" TMPDIR="$SCRATCH/not-a-folder"
check_failed "not a folder" ""
stop_run

LABEL="a link put where the screen's folder was made"
port="$(free_port)"
mkdir -m 700 "$SCRATCH/tmp-swapped"
before="$(listing "$SCRATCH/private")"
start "$SCRATCH/standin" TMPDIR="$SCRATCH/tmp-swapped" PATH="$SCRATCH/mktemp-swaps:$PATH"
check_failed "was replaced" ""
[ "$(listing "$SCRATCH/private")" = "$before" ] || fail "the folder the link leads to was changed: $(ls -la "$SCRATCH/private")"
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

# An X server that ends during the start: before the program starts (the window manager
# ends it) or under the program at its main window (which then ends with status 1, as one
# whose display went, not by a crash). Either start fails, once the program has ended, with
# a message of its own, keeps its folder with the server's log, and prints the viewer
# command only for a screen that was there.
for c in "before the program starts|standin|wm-ends-x|ended during the start|no" \
  "under the program|lost|none|ended before the program|yes"; do
  IFS='|' read -r when build path what viewer <<<"$c"
  LABEL="an X server that ends $when"
  port="$(free_port)"
  mkdir -m 700 "$SCRATCH/tmp-$build"
  start "$SCRATCH/$build" TMPDIR="$SCRATCH/tmp-$build" PATH="$SCRATCH/$path:$PATH" XDG_CONFIG_HOME="$SCRATCH/ends-config"
  wait_end
  if [ "$build" = lost ] && { [ "$(cat "$SCRATCH/lost/status" 2>/dev/null)" != 1 ] ||
    grep -Eq 'Sanitizer|Segmentation fault|runtime error' "$SCRATCH/err"; }; then
    fail "the program did not end with status 1 and no crash (status $(cat "$SCRATCH/lost/status" 2>/dev/null)): $(cat "$SCRATCH/err")"
  fi
  if made_in "$SCRATCH/tmp-$build"; then
    if [ "$STATUS" != 1 ] || ! grep -qxF "run: the VNC server $what (see xvnc.log); the screen's files are kept in $(printf %q "$DIR")" "$SCRATCH/err" ||
      { [ "$viewer" = no ] && grep -q vncviewer "$SCRATCH/out"; }; then
      fail "status ${STATUS:-running}, not the start's own failure: $(cat "$SCRATCH/out" "$SCRATCH/err")"
    fi
    [ -s "$DIR/xvnc.log" ] || fail "the kept folder has not the server's log"
  fi
  stop_run
done

# A full file system: the password is written only in part (vncpasswd fails), and the
# free space (stat -f) is almost none. Both tools are stand-ins, so that this runs for
# every user without a file system of its own.
LABEL="a full file system"
port="$(free_port)"
mkdir -p -m 700 "$SCRATCH/full" "$SCRATCH/tmp-full"
printf '#!/bin/sh\necho "vncpasswd: No space left on device" >&2\nexit 1\n' >"$SCRATCH/full/vncpasswd"
printf '#!/bin/sh\nif [ "$1" = -f ]; then echo "12 4096"; exit 0; fi\nexec %q "$@"\n' "$(command -v stat)" >"$SCRATCH/full/stat"
chmod +x "$SCRATCH/full/vncpasswd" "$SCRATCH/full/stat"
start "$SCRATCH/standin" TMPDIR="$SCRATCH/tmp-full" PATH="$SCRATCH/full:$PATH"
if made_in "$SCRATCH/tmp-full"; then
  check_failed "cannot write the VNC password; its file system is full (48 KiB free)" "$DIR"
fi
stop_run

# Sends the signals to process PID a millisecond apart: NAME to the process, -NAME to its
# process group; NAME+ again and again until the process has ended.
send() {
  python3 - "$@" <<'SEND'
import os, signal, sys, time
pid = int(sys.argv[1])
def ended():
    try:
        return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True
for name in sys.argv[2:]:
    to, sig = os.killpg if name[0] == "-" else os.kill, getattr(signal, "SIG" + name.strip("-+"))
    while not ended():
        try:
            to(pid, sig)
        except ProcessLookupError:
            break
        time.sleep(0.001)
        if not name.endswith("+"):
            break
SEND
}

# The program's own status is the start's. Ctrl+C at the terminal (SIGINT to the start's
# whole process group), once the program runs, ends the program while its screen is still
# there (here a program that takes a fifth of the time the start grants it to end, and then
# asks the X server whether it still answers), and further signals while the start ends (a
# TERM every millisecond) do not cut its work short.
GRACE="$(sed -n 's/^END_GRACE=\([0-9][0-9]*\)$/\1/p' "$ROOT/scripts/run.sh")"
mkdir -p "$SCRATCH/exits-3/bin" "$SCRATCH/slow-end/bin"
printf '#!/bin/sh\nsleep 1\nexit 3\n' >"$SCRATCH/exits-3/bin/quorvex"
printf '#!/bin/sh\ntrap '\''sleep %s; xprop -root >/dev/null 2>&1 && echo up >%q; exit 0'\'' INT TERM\ntouch %q\nwhile :; do sleep 1; done\n' \
  "$((GRACE / 5))" "$SCRATCH/slow-end/screen-at-end" "$SCRATCH/slow-end/running" >"$SCRATCH/slow-end/bin/quorvex"
chmod +x "$SCRATCH/exits-3/bin/quorvex" "$SCRATCH/slow-end/bin/quorvex"
for build in exits-3 slow-end; do
  LABEL="a program that $build"
  port="$(free_port)"
  mkdir -m 700 "$SCRATCH/tmp-$build"
  # A process group of its own, as a terminal gives the command it runs.
  start "$SCRATCH/$build" TMPDIR="$SCRATCH/tmp-$build" setsid
  if [ -n "$STATUS" ] || ! made_in "$SCRATCH/tmp-$build"; then
    fail "the screen did not come up: $(cat "$SCRATCH/out" "$SCRATCH/err")"
    stop_run
    continue
  fi
  want=3
  if [ "$build" = slow-end ]; then
    want=130
    until [ -e "$SCRATCH/slow-end/running" ] || ended; do sleep 0.1; done
    send "$RUN" -INT TERM+
  fi
  wait_end
  [ "$STATUS" = "$want" ] || fail "the start ended with status ${STATUS:-running}, not $want: $(cat "$SCRATCH/err")"
  if [ "$build" = slow-end ] && [ ! -e "$SCRATCH/slow-end/screen-at-end" ]; then
    fail "the screen went before the program had ended after Ctrl+C"
  fi
  end_screen
done

# The signals of one stop, however they arrive, end the program once, as its File > Exit
# ends it. A signal sent to the start's whole group (a kill of the group, timeout, a
# logout) reaches the program itself, and the start sends it no other; one sent to the
# start alone is passed on. Here a program that tells the first end signal it gets on the
# descriptor the start names, and counts every one it gets until it ends (a fifth of the
# grace after the first): Python's own handler writes each to the wakeup pipe as it comes.
mkdir -p "$SCRATCH/counts/bin"
cat >"$SCRATCH/counts/bin/quorvex" <<STANDIN
#!/usr/bin/env python3
import os, signal, time
notice = int(os.environ.pop("QVX_END_NOTICE_FD"))
each, told = os.pipe()
os.set_blocking(each, False)
os.set_blocking(told, False)
signal.set_wakeup_fd(told)
first = []
def on_end(sig, _):
    if not first:
        os.write(notice, bytes([sig]))
    first.append(sig)
for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
    signal.signal(sig, on_end)
open("$SCRATCH/counts/running", "w").close()
while not first:
    time.sleep(0.01)
time.sleep($GRACE / 5)
open("$SCRATCH/counts/got", "w").write(" ".join(str(b) for b in os.read(each, 100)))
STANDIN
chmod +x "$SCRATCH/counts/bin/quorvex"
mkdir -m 700 "$SCRATCH/counts/odbc" "$SCRATCH/tmp-counts"
for c in "the start alone|TERM" "the start's group|-TERM"; do
  IFS='|' read -r whom signal <<<"$c"
  LABEL="a SIGTERM to $whom"
  port="$(free_port)"
  rm -f "$SCRATCH/counts/running" "$SCRATCH/counts/got"
  start "$SCRATCH/counts" TMPDIR="$SCRATCH/tmp-counts" setsid
  made_in "$SCRATCH/tmp-counts" || { stop_run; continue; }
  until [ -e "$SCRATCH/counts/running" ] || ended; do sleep 0.1; done
  send "$RUN" "$signal"
  wait_end
  [ "$STATUS" = 130 ] || fail "the start ended with status ${STATUS:-running}, not 130: $(cat "$SCRATCH/err")"
  got="$(cat "$SCRATCH/counts/got" 2>/dev/null || echo none)"
  [ "$got" = 15 ] || fail "the program got the signals $got, not the one SIGTERM (15): $(cat "$SCRATCH/err")"
  end_screen
done

# A SIGTERM that comes just before the start launches the program (sent by a debug trap the
# start's shell reads from BASH_ENV) still ends it: the program, a stand-in that tells the
# signals it began with ignored (whole, or not at all when the signal ends it first),
# begins with them as the start got them.
mkdir -p "$SCRATCH/launch/bin" "$SCRATCH/tmp-launch"
printf '#!/bin/sh\nsed -n "s/^SigIgn:[[:space:]]*//p" /proc/$$/status >%q.part && mv %q.part %q\nwhile :; do sleep 1; done\n' \
  "$SCRATCH/launch/ignored" "$SCRATCH/launch/ignored" "$SCRATCH/launch/ignored" >"$SCRATCH/launch/bin/quorvex"
chmod +x "$SCRATCH/launch/bin/quorvex"
echo 'trap '\''[ "$BASH_COMMAND" != LAUNCHING=1 ] || { LAUNCHING=1; kill -TERM $$; }'\'' DEBUG' >"$SCRATCH/launch/env"
LABEL="a SIGTERM to the start as it launches the program"
port="$(free_port)"
launch "$SCRATCH/launch" TMPDIR="$SCRATCH/tmp-launch" BASH_ENV="$SCRATCH/launch/env"
wait_end
ignored="$(cat "$SCRATCH/launch/ignored" 2>/dev/null)" || ignored=0
[ "$STATUS" = 130 ] && (((16#$ignored & 16#4003) == 0)) ||
  fail "status ${STATUS:-running}, the program began with the signals $ignored ignored: $(cat "$SCRATCH/out" "$SCRATCH/err")"

# The program itself, at its main window, as File > Exit leaves its folder (pressed through
# the screen), and as each way of stopping it leaves it: the settings and the data-set files
# byte for byte the same, and no other file; the start, the program and the screen gone.
# The closed terminal is an interactive shell's in tmux, which passes the hang-up on to the
# start it runs.
# The program folder, as a first start finds it: the program and nothing else.
PROGRAM="$SCRATCH/ends"
mkdir -p "$PROGRAM/bin" "$PROGRAM/tmp"
chmod 700 "$PROGRAM/tmp"
ln "$SCRATCH/bin/quorvex" "$PROGRAM/bin/quorvex" 2>/dev/null || cp "$SCRATCH/bin/quorvex" "$PROGRAM/bin/quorvex"
if [ -e "$SCRATCH/prepare-program-folder.sh" ]; then cp -p "$SCRATCH/prepare-program-folder.sh" "$PROGRAM/"; fi
cp -rp "$SCRATCH/odbc" "$PROGRAM/odbc"
# The windows shown on the screen of DISPLAY: every one, or the program's main window.
shown_windows() { xdotool search --onlyvisible --classname . 2>/dev/null | sort; }
main_window() { xdotool search --onlyvisible --name '^Quorvex$' 2>/dev/null | head -n 1; }
menu_shown() {
  local w
  for w in $(shown_windows); do
    if xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q '_MENU'; then return 0; fi
  done
  return 1
}
# The files the program leaves in its folder, each with its bytes' sum.
program_files() {
  local f
  for f in "$PROGRAM"/bin/*; do
    case "${f##*/}" in quorvex | samples) ;; *) echo "${f##*/} $(cksum <"$f")" ;; esac
  done
}
EXITED=""
EXIT_STATUS=""
for c in "File > Exit|exit" "File > Exit, a viewer's window still open and then closed|exit|close" \
  "File > Exit, a viewer's window still open and then a SIGTERM to the start's group|exit|-TERM" \
  "a SIGTERM to the start's group|-TERM" "SIGTERMs 1 ms apart to the start's group|-TERM -TERM" \
  "SIGHUPs 1 ms apart to the start's group|-HUP -HUP" "a SIGTERM to the start alone|TERM" "a closed terminal|terminal"; do
  IFS='|' read -r how to after <<<"$c"
  LABEL="the program ended by $how"
  find "$PROGRAM/bin" -mindepth 1 -maxdepth 1 ! -name quorvex -exec rm -rf {} +
  port="$(free_port)"
  env=(TMPDIR="$PROGRAM/tmp" XDG_CONFIG_HOME="$SCRATCH/ends-config")
  if [ "$to" = terminal ]; then
    echo "check-vnc-screen: $LABEL"
    (umask 002 && "${TMUX_AT[@]}" new-session -d -s end -x 200 -y 50 -- env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR \
      -u XDG_CACHE_HOME -u TMUX QVX_VNC_PORT="$port" HOME="$SCRATCH/home" HISTFILE= "${env[@]}" bash --norc --noprofile -i)
    "${TMUX_AT[@]}" send-keys -t end -l "$(printf '%q %q' "$ROOT/scripts/run.sh" "$PROGRAM")"
    "${TMUX_AT[@]}" send-keys -t end Enter
    RUN="$(child_process bash "$("${TMUX_AT[@]}" display-message -p -t end '#{pane_pid}')")" || RUN=""
  else
    start "$PROGRAM" "${env[@]}" setsid
  fi
  program="$(child_process quorvex)" || program=""
  if [ -z "$program" ] || ! made_in "$PROGRAM/tmp"; then
    fail "the program did not start: $(cat "$SCRATCH/out" "$SCRATCH/err")"
    stop_run
    continue
  fi
  export DISPLAY="$(environment_value "$program" DISPLAY)" XAUTHORITY="$DIR/xauthority"
  until window="$(main_window)" && [ -n "$window" ] || ! alive "$program"; do sleep 0.1; done
  # Another program's window (the workbook's viewer), in a session of its own, shown.
  viewer=""
  if [ -n "$after" ]; then
    setsid xmessage -name viewer -geometry -0-0 "a workbook's viewer" 2>/dev/null &
    viewer=$!
    until xdotool search --onlyvisible --classname '^viewer$' >/dev/null 2>&1 || ! alive "$viewer"; do sleep 0.1; done
  fi
  case "$to" in
    exit)
      # The menu bar's first menu, once it has opened, and its last entry.
      xdotool mousemove --window "$window" 15 10 click 1 || fail "the menu could not be clicked"
      until menu_shown || ! alive "$program"; do sleep 0.1; done
      xdotool key Up Return || fail "the menu's last entry could not be chosen"
      ;;
    terminal) "${TMUX_AT[@]}" kill-session -t end || fail "the terminal could not be closed" ;;
    *) send "$RUN" $to ;;
  esac
  unset DISPLAY XAUTHORITY
  # The start keeps the screen while the viewer's window is open, and says so, until it
  # closes; a signal then ends everything at once, the viewer too.
  if [ -n "$viewer" ]; then
    until grep -q "still open on its screen" "$SCRATCH/out" || ended; do sleep 0.1; done
    if [ -n "$STATUS" ]; then fail "the start ended ($STATUS) under the viewer's window: $(cat "$SCRATCH/out")"
    elif [ "$after" = close ]; then kill "$viewer"
    else send "$RUN" "$after"; fi
    wait "$viewer" || true
  elif [ "$to" = exit ] && grep -q "still open" "$SCRATCH/out"; then
    fail "the start waited for a window with none open: $(cat "$SCRATCH/out")"
  fi
  if [ "$to" = terminal ]; then
    while alive "$RUN"; do sleep 0.1; done
    RUN=""
  else
    wait_end
    # After a viewer's window closed, the program's own status, as File > Exit alone ends.
    want=130
    if [ "$to" = exit ] && [ -z "$after" ]; then want="$STATUS" EXIT_STATUS="$STATUS"; fi
    if [ "$after" = close ]; then want="$EXIT_STATUS"; fi
    [ "$STATUS" = "$want" ] || fail "the start ended with status ${STATUS:-running}, not $want: $(cat "$SCRATCH/err")"
  fi
  if alive "$program"; then
    fail "the program outlived its start"
    kill -KILL "$program"
  fi
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then fail "port $port is still served"; fi
  end_screen
  if [ "$to" = exit ]; then
    EXITED="$(program_files)"
    cp "$PROGRAM/bin/Tallymoor.Ini" "$SCRATCH/exited.ini"
  elif [ "$(program_files)" != "$EXITED" ]; then
    fail "the program's folder is not as File > Exit leaves it: $(program_files);" \
      "$(diff <(tr -d '\r' <"$SCRATCH/exited.ini") <(tr -d '\r' <"$PROGRAM/bin/Tallymoor.Ini"))"
  fi
done

# Starts killed with SIGKILL (no clean-up of their own): while the X server's setpriv waits
# (before the server has its parent-death signal; this setpriv waits until its start is
# gone), and once the screen is up (under a setpriv slowed by half a second, as on a loaded
# machine). Each takes its X server and window manager with it, and the port is free again.
# Every later start in that folder removes their folders, but not one a failed start kept,
# another user's, nor the one of a start still running.
KILLED="$SHARED/killed"
mkdir -m 1777 "$KILLED"
mkdir -p "$SCRATCH/setpriv-held" "$SCRATCH/setpriv-slow"
printf '#!/bin/bash\necho "$$" >>%q\nwhile kill -0 "$PPID" 2>/dev/null; do sleep 0.05; done\nexec %q "$@"\n' \
  "$SCRATCH/setpriv-calls" "$(command -v setpriv)" >"$SCRATCH/setpriv-held/setpriv"
printf '#!/bin/bash\necho "$$" >>%q\nsleep 0.5\nexec %q "$@"\n' "$SCRATCH/setpriv-calls" "$(command -v setpriv)" \
  >"$SCRATCH/setpriv-slow/setpriv"
chmod +x "$SCRATCH/setpriv-held/setpriv" "$SCRATCH/setpriv-slow/setpriv"
contents() { local d; for d in "$@"; do printf '%s: %s\n' "$d" "$(ls -A "$d" | tr '\n' ' ')"; done; }
# Whether every folder listed by contents still holds all it held then: the running start's
# own screen may add to its folder meanwhile (its window manager's cache), but nothing in
# any of them may go.
kept_all() {
  local line d name
  while IFS= read -r line; do
    d="${line%%: *}"
    [ -d "$d" ] || return 1
    for name in ${line#*: }; do [ -e "$d/$name" ] || return 1; done
  done <<<"$1"
}
shopt -s nullglob
LABEL="the folders that stay beside killed starts'"
port="$(free_port)"
start "$SCRATCH/standin" TMPDIR="$KILLED" PATH="$SCRATCH/xvnc-fails:$PATH"
stop_run
if [ "${#OTHER[@]}" -gt 0 ]; then
  "${OTHER[@]}" sh -c 'mkdir -m 700 "$1" && echo theirs >"$1/xvnc.log"' sh "$KILLED/quorvex-screen.N0b0dy0000"
fi
STAYS=("$KILLED"/quorvex-screen.*)
before="$(contents "${STAYS[@]}")"
port="$(free_port)"
start "$SCRATCH/standin" TMPDIR="$KILLED"
HOLD="$RUN"
RUN=""
for d in "$KILLED"/quorvex-screen.*; do
  [[ " ${STAYS[*]} " == *" $d "* ]] || { STAYS+=("$d") && before+=$'\n'"$(contents "$d")"; }
done
[ "${#STAYS[@]}" -ge 2 ] || fail "no folder kept by the failed start, or none of the running one: ${STAYS[*]-}"
killed=()
for c in "while the X server's setpriv waits|1" "once the screen is up|"; do
  IFS='|' read -r when calls <<<"$c"
  LABEL="a start killed $when"
  port="$(free_port)"
  : >"$SCRATCH/setpriv-calls"
  program=""
  if [ -n "$calls" ]; then
    launch "$SCRATCH/standin" TMPDIR="$KILLED" PATH="$SCRATCH/setpriv-held:$PATH"
    while [ "$(wc -l <"$SCRATCH/setpriv-calls")" -lt "$calls" ] && alive "$RUN"; do sleep 0.05; done
  else
    start "$SCRATCH/standin" TMPDIR="$KILLED" PATH="$SCRATCH/setpriv-slow:$PATH"
    program="$(child_process quorvex || true)"
  fi
  [ -z "$STATUS" ] || fail "run.sh ended ($STATUS) before it could be killed: $(cat "$SCRATCH/out" "$SCRATCH/err")"
  kill -KILL "$RUN" 2>/dev/null || true
  wait "$RUN" 2>/dev/null || true
  RUN=""
  screen_processes=($(cat "$SCRATCH/setpriv-calls"))
  # An X server or window manager that outlives the start is waited for until the test's
  # time runs out.
  for pid in "${screen_processes[@]}"; do while alive "$pid"; do sleep 0.1; done; done
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then fail "port $port is still served"; fi
  if [ -n "$program" ]; then kill "$program" 2>/dev/null || true; fi
  # Its folder, which the next start removes.
  new=()
  for d in "$KILLED"/quorvex-screen.*; do [[ " ${STAYS[*]} ${killed[*]} " == *" $d "* ]] || new+=("$d"); done
  [ "${#new[@]}" -eq 1 ] || fail "not one folder of the killed start: ${new[*]-none}"
  killed+=("${new[@]}")
done
LABEL="the start after killed ones"
port="$(free_port)"
start "$SCRATCH/standin" TMPDIR="$KILLED"
for d in "${killed[@]}"; do if [ -e "$d" ]; then fail "the folder of a killed start stays: $(ls -la "$d")"; fi; done
kept_all "$before" || fail "a folder that was not a killed start's lost what it held ($before): $(ls -la "${STAYS[@]}" 2>&1)"
stop_run
kill "$HOLD" 2>/dev/null || true
wait "$HOLD" 2>/dev/null || true
HOLD=""
shopt -u nullglob

# Nothing was written to the home folder (the window manager's cache, say).
LABEL="the home folder"
[ -z "$(ls -A "$SCRATCH/home")" ] || fail "the home folder was written: $(cd "$SCRATCH/home" && find . -mindepth 1)"

if [ "$FAILED" -ne 0 ]; then exit 1; fi
echo "check-vnc-screen: $STARTS starts showing the program and ${#hostile[@]} + 2 with planted folders, each in a new private folder, refused without the password or the X cookie and removed at the end; the failing starts (${#unguarded[@]} with unguarded TMPDIRs passed over) stopped with a message, killed ones took their screens with them and left folders that the next start removed; every stop left the program's folder as File > Exit does; captures in $OUT"
