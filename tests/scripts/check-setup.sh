#!/usr/bin/env bash
# scripts/setup.sh as users of every kind meet it, with nothing installed for real: a PATH
# of stand-ins for dpkg-query (two packages missing, or none), apt-get (which installs or
# fails) and sudo (none, one that lets the user in without a prompt, one that wants a
# password), run as an ordinary user (nobody, when this runs as root) and as root.
# A start that does not install what is missing fails, and every failure names the
# missing packages and the administrator's line before anything sudo says, at a terminal
# (a pseudo-terminal of script's, where sudo asks and refuses) as well; nothing asks for a
# password without a terminal; a missing sudo is named as such.
#
#   tests/scripts/check-setup.sh
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
# The user's files live where every user may read them, the log where they may write.
T="$(mktemp -d /tmp/qvx-setup-check.XXXXXX)"
trap 'rm -rf "$T"' EXIT
chmod 755 "$T"
cp "$ROOT/scripts/setup.sh" "$ROOT/scripts/usage.sh" "$T/"
mkdir "$T/tools" "$T/stubs" "$T/sudo-none" "$T/sudo-free" "$T/sudo-password"
for tool in bash env grep id cat true dirname; do ln -s "$(type -P "$tool")" "$T/tools/$tool"; done
cat >"$T/stubs/dpkg-query" <<EOF
#!$T/tools/bash
for p in \$(cat $T/missing); do [ "\${@: -1}" = "\$p" ] && exit 1; done
printf 'install ok installed'
EOF
cat >"$T/stubs/apt-get" <<EOF
#!$T/tools/bash
echo "apt-get \$* (sudo: \${SUDO_STUB:-no})" >>$T/calls
exit \$(cat $T/apt-status)
EOF
cat >"$T/sudo-free/sudo" <<EOF
#!$T/tools/bash
[ "\$1" = -n ] && shift || echo "sudo asked for a password" >>$T/calls
SUDO_STUB=yes exec "\$@"
EOF
cat >"$T/sudo-password/sudo" <<EOF
#!$T/tools/bash
if [ "\$1" = -n ]; then echo "sudo: a password is required" >&2; exit 1; fi
echo "sudo asked for a password" >>$T/calls
echo "sudo: user is not in the sudoers file" >&2
exit 1
EOF
chmod -R a+rX "$T"
chmod +x "$T"/stubs/* "$T/sudo-free/sudo" "$T/sudo-password/sudo"

ME=()
ROOTCASES=0
if [ "$(id -u)" -eq 0 ]; then
  ME=(runuser -u nobody --)
  ROOTCASES=1
fi

FAILED=0
LINE="  apt-get install --no-install-recommends openbox vncsnapshot"
# name | as (user/root) | sudo | apt-get status | missing | status | stderr's first line
# (a pattern; empty: no stderr) | a line calls must hold (empty: no calls at all) | at a
# terminal (where stdout and stderr show as one)
CASES=(
  "nothing missing|user|password|1||0||"
  "no sudo|user|none|0|openbox vncsnapshot|1|setup: these Debian packages are missing: openbox vncsnapshot|"
  "sudo wants a password|user|password|0|openbox vncsnapshot|1|setup: these Debian packages are missing: openbox vncsnapshot|"
  "sudo refuses at a terminal|user|password|0|openbox vncsnapshot|1|setup: these Debian packages are missing: openbox vncsnapshot|sudo asked for a password|terminal"
  "sudo without a prompt|user|free|0|openbox vncsnapshot|0||apt-get install -y -qq --no-install-recommends openbox vncsnapshot (sudo: yes)"
  "sudo without a prompt, apt-get fails|user|free|100|openbox vncsnapshot|1|setup: these Debian packages are missing: openbox vncsnapshot|apt-get update -qq (sudo: yes)"
  "root|root|none|0|openbox vncsnapshot|0||apt-get install -y -qq --no-install-recommends openbox vncsnapshot (sudo: no)"
  "root, apt-get fails|root|none|100|openbox vncsnapshot|1|setup: these Debian packages are missing: openbox vncsnapshot|apt-get update -qq (sudo: no)"
)
for c in "${CASES[@]}"; do
  IFS='|' read -r name as sudo apt missing want first call terminal <<<"$c"
  if [ "$as" = root ] && [ "$ROOTCASES" -eq 0 ]; then continue; fi
  run=("${ME[@]}")
  [ "$as" = root ] && run=()
  echo "$missing" >"$T/missing"
  echo "$apt" >"$T/apt-status"
  : >"$T/calls"
  chmod 666 "$T/calls"
  status=0
  setup=(env -i PATH="$T/stubs:$T/sudo-$sudo:$T/tools" "$T/tools/bash" "$T/setup.sh")
  if [ -n "$terminal" ]; then
    : >"$T/out"
    "${run[@]}" script -qefc "$(printf '%q ' "${setup[@]}")" /dev/null </dev/null 2>&1 | tr -d '\r' >"$T/err" ||
      status=$?
  else
    "${run[@]}" "${setup[@]}" </dev/null >"$T/out" 2>"$T/err" || status=$?
  fi
  err="$(cat "$T/err")"
  problems=()
  [ "$status" = "$want" ] || problems+=("status $status, not $want")
  if [ -z "$first" ]; then
    [ -z "$err" ] || problems+=("it complained")
  else
    [[ "$(head -n 1 "$T/err")" == $first ]] || problems+=("its first complaint is not the missing packages")
    grep -qxF -- "$LINE" "$T/err" || problems+=("no line for an administrator")
  fi
  if [ -z "$call" ]; then
    [ ! -s "$T/calls" ] || problems+=("calls made")
  else
    grep -qxF -- "$call" "$T/calls" || problems+=("no call \"$call\"")
  fi
  if [ -z "$terminal" ] && grep -q "asked for a password" "$T/calls"; then
    problems+=("sudo asked for a password without a terminal")
  fi
  if grep -qi "not found" "$T/err"; then problems+=("a command was not found"); fi
  if [ "$sudo" = none ] && [ "$as" = user ] && ! grep -q "needs root, and there is no sudo" "$T/err"; then
    problems+=("the missing sudo is not named")
  fi
  if [ "${#problems[@]}" -gt 0 ]; then
    printf 'check-setup: %s: %s\n' "$name" "$(IFS=';' && echo "${problems[*]}")" >&2
    printf '  stdout: %s\n  stderr: %s\n  calls: %s\n' "$(cat "$T/out")" "$err" "$(cat "$T/calls")" >&2
    FAILED=1
  fi
done
[ "$ROOTCASES" -eq 1 ] || echo "check-setup: not root: the cases run as root are not tried"
if [ "$FAILED" -eq 0 ]; then echo "check-setup: passed"; fi
exit "$FAILED"
