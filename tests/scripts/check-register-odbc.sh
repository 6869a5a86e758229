#!/usr/bin/env bash
# The build's registration of the company-file driver (scripts/register-odbc.sh) as an
# ordinary user meets it: made without root in a folder of the user's, the machine's
# registration untouched, and unixODBC's own tools, given the folder as ODBCSYSINI, list
# every driver name and the data source and read the sample company through them (the
# count checked against SQLite's own). An existing folder open to all is made the user's
# alone, another user's file in it replaced. A folder that is a link, or another user's,
# is refused and nothing is written into it.
#
#   tests/scripts/check-register-odbc.sh BUILD
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
BUILD="$(cd "${1:?BUILD}" && pwd)"
TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT
FAILED=0
fail() {
  echo "check-register-odbc: $*" >&2
  FAILED=1
}
unset ODBCINSTINI ODBCINI
machine() { cat /etc/odbcinst.ini /etc/odbc.ini 2>/dev/null | sha256sum; }
before="$(machine)"

# The registration folder stands already, open to every user (an earlier umask 000, say),
# and (as root, who can act as another user) holds another user's odbcinst.ini.
REG="$TMP/odbc"
mkdir "$REG"
chmod 755 "$TMP"
chmod 777 "$REG"
if [ "$(id -u)" -eq 0 ]; then
  runuser -u nobody -- sh -c 'printf "[MYOAU1001]\nDriver = /tmp/theirs.so\n" >"$1/odbcinst.ini"' sh "$REG"
fi
if ! "$ROOT/scripts/register-odbc.sh" "$BUILD" "$REG" >"$TMP/log" 2>&1; then
  fail "registration failed: $(cat "$TMP/log")"
fi
[ "$(stat -c '%a %u' "$REG")" = "700 $(id -u)" ] || fail "$REG is $(stat -c '%a %u' "$REG"), not 700 and the user's"
[ -z "$(find "$REG" -mindepth 1 ! -user "$(id -u)")" ] || fail "files of another user are left in $REG: $(ls -la "$REG")"
[ "$(machine)" = "$before" ] || fail "the machine's registration changed"

# Its odbc.ini is the user's data-source file too, and isql's history goes to a home of
# the test's own: nothing is written to the user's home folder.
export ODBCSYSINI="$REG" ODBCINI="$REG/odbc.ini" HOME="$TMP"
expected="$("$BUILD/bin/qvx-make-samples" --driver-names | tr ' ' '\n' | sort)"
listed="$(odbcinst -q -d | tr -d '[]' | sort)"
[ -n "$expected" ] && [ "$listed" = "$expected" ] || fail "drivers listed: $listed; expected: $expected"
[ "$(odbcinst -q -s)" = "[MYOB_Accountright_2011]" ] || fail "data sources listed: $(odbcinst -q -s)"

# isql is no sanitizer build: a sanitizer build of the driver needs its runtime first.
PRELOAD="$(ldd "$BUILD/lib/libqvx_myodbc.so" | awk '/libasan/ { print $3 }')"
count() { LD_PRELOAD="$PRELOAD" ASAN_OPTIONS=detect_leaks=0 isql "$@" -b -d'|' <<<"SELECT COUNT(*) FROM MYOB.JournalRecords" 2>&1 || true; }
want="$(sqlite3 "$BUILD/samples/ARSample.MYOX" 'SELECT COUNT(*) FROM JournalRecords')"
got="$(count MYOB_Accountright_2011 Administrator "")"
[ "$got" = "$want" ] || fail "the data source counts $got journal lines; SQLite counts $want"
want="$(sqlite3 "$BUILD/samples/AUSample.MYO" 'SELECT COUNT(*) FROM JournalRecords')"
got="$(count -k "Driver={MYOAU1001};UID=Administrator;PWD=;DATABASE=$BUILD/samples/AUSample.MYO")"
[ "$got" = "$want" ] || fail "MYOAU1001 counts $got journal lines; SQLite counts $want"

# Refused: a link, even to a folder of the user's, and (as root, who can make one) a
# folder of another user's.
mkdir -m 700 "$TMP/target"
ln -s "$TMP/target" "$TMP/link"
refused=("$TMP/link")
if [ "$(id -u)" -eq 0 ]; then
  mkdir -m 755 "$TMP/other"
  chown nobody "$TMP/other"
  refused+=("$TMP/other")
fi
for folder in "${refused[@]}"; do
  if "$ROOT/scripts/register-odbc.sh" "$BUILD" "$folder" >"$TMP/log" 2>&1 || ! grep -q "$folder is not a folder of your own" "$TMP/log"; then
    fail "$folder was not refused with a message: $(cat "$TMP/log")"
  fi
done
[ -z "$(ls -A "$TMP/target")" ] || fail "a registration was written through the link"
if [ -d "$TMP/other" ]; then
  [ -z "$(ls -A "$TMP/other")" ] && [ "$(stat -c %a "$TMP/other")" = 755 ] || fail "the other user's folder was changed"
fi

if [ "$FAILED" -eq 0 ]; then echo "check-register-odbc: passed"; fi
exit "$FAILED"
