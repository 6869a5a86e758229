#!/usr/bin/env bash
# Registers the company-file ODBC driver of a build folder with unixODBC for the user who
# runs it, never for the machine: odbcinst.ini and odbc.ini in FOLDER (default BUILD/odbc),
# a folder of the user's own, readable by them only, that unixODBC reads in place of /etc
# when ODBCSYSINI names it, its odbc.ini when ODBCINI names it (scripts/run.sh hands both
# to the program; without ODBCINI unixODBC makes an empty ~/.odbc.ini). The drivers are every
# name a sample file names (as the build's qvx-make-samples lists them: "MYOAU1001" and
# the other countries' direct-mode names, "MYOB_AccountRight_2011" for DSN mode), and the
# data source "MYOB_Accountright_2011" (whose default company file is the sample file of
# the newer product line). Root needs no more than any other user: no sudo, nothing in /etc.
# Check by hand with:
#   echo "SELECT COUNT(*) FROM MYOB.JournalRecords" |
#     ODBCSYSINI="$PWD/build/odbc" ODBCINI="$PWD/build/odbc/odbc.ini" isql MYOB_Accountright_2011 Administrator "" -b
set -euo pipefail
MOST_ARGUMENTS=2
USAGE="usage: scripts/register-odbc.sh [BUILD] [FOLDER]    registers BUILD's driver for you in FOLDER
                                                    (default: build BUILD/odbc)"
. "$(dirname "$0")/usage.sh"
BUILD="${1:-build}"
if [ ! -d "$BUILD" ]; then
  echo "register-odbc: no build folder $BUILD" >&2
  exit 1
fi
BUILD="$(cd "$BUILD" && pwd)"
LIB="$BUILD/lib/libqvx_myodbc.so"
if [ ! -f "$LIB" ]; then
  echo "register-odbc: $LIB has not been built" >&2
  exit 1
fi
DIR="${2:-$BUILD/odbc}"
case "$DIR" in /*) ;; *) DIR="$PWD/$DIR" ;; esac
NAMES="$("$BUILD/bin/qvx-make-samples" --driver-names)"

# The registration names the library every ODBC client of the user loads, so it is kept
# only in a real folder of the user's (not a link, not another user's) that only they can
# write to; each file is written under a new name and renamed into place.
mkdir -m 700 -- "$DIR" 2>/dev/null || true
if [ -L "$DIR" ] || [ ! -d "$DIR" ] || [ "$(stat -c %u -- "$DIR")" != "$(id -u)" ] || ! chmod 700 -- "$DIR"; then
  echo "register-odbc: $DIR is not a folder of your own; remove it or name another folder" >&2
  exit 1
fi
put() {
  local new
  new="$(mktemp "$DIR/.$1.XXXXXX")"
  if ! cat >"$new" || ! mv -fT -- "$new" "$DIR/$1"; then
    rm -f -- "$new"
    echo "register-odbc: cannot write $DIR/$1" >&2
    exit 1
  fi
}
# Threading = 2: the driver manager serializes calls per connection (what the driver needs)
# rather than per environment.
for name in $NAMES; do
  printf '[%s]\nDescription = Quorvex company-file driver\nDriver = %s\nThreading = 2\n\n' "$name" "$LIB"
done | put odbcinst.ini
printf '[MYOB_Accountright_2011]\nDescription = Company files of the newer product line\nDriver = MYOB_AccountRight_2011\nDatabase = %s\n' \
  "$BUILD/samples/ARSample.MYOX" | put odbc.ini
echo "register-odbc: drivers" $NAMES "and data source MYOB_Accountright_2011 -> $LIB, for you in $DIR"
