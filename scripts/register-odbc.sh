#!/usr/bin/env bash
# Registers the company-file ODBC driver of a build folder with unixODBC for the machine,
# under every driver name a sample file names (as the build's qvx-make-samples lists them:
# "MYOAU1001" and the other countries' direct-mode names, "MYOB_AccountRight_2011" for DSN
# mode), and the system data source "MYOB_Accountright_2011" (whose default company file
# is the sample file of the newer product line). Run it after a build without sanitizers:
#   scripts/register-odbc.sh [BUILD]      (default: build)
# Check by hand with:
#   echo "SELECT COUNT(*) FROM MYOB.JournalRecords" | isql MYOB_Accountright_2011 Administrator "" -b
set -euo pipefail
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
NAMES="$("$BUILD/bin/qvx-make-samples" --driver-names)"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# Threading = 2: the driver manager serializes calls per connection (what the driver needs)
# rather than per environment.
for name in $NAMES; do
  printf '[%s]\nDescription = Quorvex company-file driver\nDriver = %s\nThreading = 2\n' "$name" "$LIB" >"$tmp/driver.ini"
  $SUDO odbcinst -i -d -f "$tmp/driver.ini" >/dev/null
done
printf '[MYOB_Accountright_2011]\nDescription = Company files of the newer product line\nDriver = MYOB_AccountRight_2011\nDatabase = %s\n' \
  "$BUILD/samples/ARSample.MYOX" >"$tmp/dsn.ini"
$SUDO odbcinst -i -s -l -f "$tmp/dsn.ini" >/dev/null
echo "register-odbc: drivers" $NAMES "and data source MYOB_Accountright_2011 -> $LIB"
