#!/usr/bin/env bash
# The real window (offscreen) reading the pymodbus slave's input registers
# automatically every second for N minutes, as an engineer leaves it overnight.
# Prints the resident size once a minute, then its growth and that growth
# extrapolated to 24 hours (least squares over the minutes after the first,
# which holds the start-up's one-time allocations).
#
#   scripts/window-soak.sh [--minutes 60] [--build build]
#
# It runs the soak case of the window test tests/app_faultline (skipped in CI).
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES=60 BUILD=build
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) MINUTES="$2"; shift 2 ;;
    --build) BUILD="$2"; shift 2 ;;
    *) echo "usage: $0 [--minutes M] [--build DIR]" >&2; exit 2 ;;
  esac
done
TEST="$BUILD/tests/app_faultline/app_faultline_tests"
[ -x "$TEST" ] || { echo "no $TEST: build app_faultline_tests (with the window)" >&2; exit 2; }
case "$MINUTES" in '' | *[!0-9]* | 0) echo "--minutes takes a whole number above 0" >&2; exit 2 ;; esac
set +e
OSTREL_SOAK_MINUTES="$MINUTES" OSTREL_SOURCE_DIR="$PWD" \
  "$TEST" --gtest_filter='WindowFaultLine.SoakAutomaticReadout' 2>&1 |
  grep --line-buffered -E '^\[ soak \]|Failure|Expected|Which is|SKIPPED|FAILED'
status=("${PIPESTATUS[@]}")
exit "${status[0]}"
