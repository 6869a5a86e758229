#!/usr/bin/env bash
# Prints why each test of the last ctest run in BUILD was skipped: ctest itself names a
# skipped test without the reason, which GoogleTest writes in the test's own output
# ("FILE:LINE: Skipped", the reason's lines, then "[  SKIPPED ] NAME (N ms)"), kept
# whole in ctest's log. Prints nothing when no test was skipped.
#
#   tests/support/skipped-reasons.sh BUILD
set -euo pipefail
LOG="${1:?BUILD}/Testing/Temporary/LastTest.log"
[ -f "$LOG" ] || exit 0
awk '
  /: Skipped$/ { skipping = 1; why = ""; next }
  skipping && /^\[  SKIPPED \] / {
    if (!said++) print "\nWhy the skipped tests did not run:"
    print "  " $4 ": " (why == "" ? "(no reason given)" : why)
    skipping = 0
    next
  }
  skipping { why = why == "" ? $0 : why "; " $0 }
' "$LOG"
