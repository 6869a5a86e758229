#!/usr/bin/env bash
# Makes the README's pictures again: the first page of each report on the sample company
# files, printed by the report runner on the "PDF" device and turned into PNG files under
# docs/. The runner is built with the tests (make test builds it in build-test).
#
# The runner reaches the company-file driver of BUILD through a registration of its own
# (every driver name a sample names, as BUILD's qvx-make-samples lists them), so the
# machine's registration is neither needed nor changed.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
MOST_ARGUMENTS=1
USAGE="usage: scripts/make-report-pictures.sh [BUILD]    makes docs/*.png with BUILD's runner (default: build-test)"
. "$ROOT/scripts/usage.sh"
BUILD="$(cd "${1:-build-test}" && pwd)"
RUN="$BUILD/tools/qvx-report-run"
SAMPLES="$BUILD/samples"
for need in "$RUN" "$BUILD/lib/libqvx_myodbc.so" "$BUILD/bin/qvx-make-samples" "$SAMPLES/AUSample.MYO"; do
  if [ ! -e "$need" ]; then
    echo "make-report-pictures: $need is missing; build with the tests first (make test)" >&2
    exit 1
  fi
done
command -v pdftoppm >/dev/null || { echo "make-report-pictures: pdftoppm is missing; scripts/setup.sh installs it" >&2; exit 1; }

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
for name in $("$BUILD/bin/qvx-make-samples" --driver-names); do
  printf '[%s]\nDriver = %s\nThreading = 2\n\n' "$name" "$BUILD/lib/libqvx_myodbc.so" >>"$tmp/odbcinst.ini"
done
: >"$tmp/odbc.ini"
export ODBCSYSINI="$tmp" ODBCINSTINI=odbcinst.ini ODBCINI="$tmp/odbc.ini"
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0

# picture NAME RUNNER-ARGUMENTS...: runs the report into a PDF and keeps its first page.
picture() {
  local name="$1"
  shift
  "$RUN" "$@" --out "$tmp/$name.pdf" >"$tmp/$name.log" 2>&1 || {
    echo "make-report-pictures: the runner failed for $name:" >&2
    cat "$tmp/$name.log" >&2
    exit 1
  }
  pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$tmp/$name.pdf" "$ROOT/docs/$name"
  echo "docs/$name.png"
}

mkdir -p "$ROOT/docs"
picture budget-comparison --file "$SAMPLES/AUSample.MYO" --report BGTCMP --from 07/2025 --to 09/2025 \
  --option VarianceCol=B --option BudgetColDiff=1
picture budget-forecast --file "$SAMPLES/AUSample.MYO" --report BGTFCT --from 07/2025 --to 12/2025 \
  --option ColumnType=AB
picture group-profit-and-loss --file "$SAMPLES/AUSample.MYO" --report CONPL --from 07/2025 --to 12/2025 \
  --folder "$SAMPLES/Group" --option ConsGroupName=NORTH --option ShowFigures=True
