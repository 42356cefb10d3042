#!/usr/bin/env bash
# ostrel-cli for Windows: cross-built with mingw-w64, its tests run under wine.
#
#   bash scripts/windows.sh           build, then run every Windows test under wine
#   bash scripts/windows.sh --build   build only: build-win/cli/ostrel-cli.exe
#
# The tests: each library suite under wine, its count beside the Linux build's; the device
# suite on two pseudo-terminals mapped as COM ports; and ostrel-cli.exe reading 125 registers
# from the pymodbus slave and scanning the simulated panel, each output compared with the
# Linux ostrel-cli's against the same peer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh --windows
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win -j "$(nproc)"
echo "windows: build-win/cli/ostrel-cli.exe, $(stat -c %s build-win/cli/ostrel-cli.exe) bytes"
[ "${1:-}" = "--build" ] && exit 0

# The Linux side of each comparison comes from the normal build.
suites=(common/common_tests modbus/modbus_tests panel/panel_tests serial/serial_tests)
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target "${suites[@]##*/}" ostrel-cli

export WINEPREFIX="$root/build-win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log="$root/build-win/test-logs"
mkdir -p "$log"
failed=0
cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1

# "ran passed skipped" of a GoogleTest run's output.
counts() {
  local ran passed skipped
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$1" | tail -n 1)
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$1" | tail -n 1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?,.*/\1/p' "$1" | tail -n 1)
  echo "${ran:-0} ${passed:-0} ${skipped:-0}"
}

# suite, Linux command, wine command: runs both, prints a row, fails on a difference.
compare_suite() {
  local name=$1 native_cmd=$2 wine_cmd=$3 n w
  bash -c "$native_cmd" >"$log/$name.linux.log" 2>&1 || true
  bash -c "$wine_cmd" >"$log/$name.wine.log" 2>&1 || true
  read -r n_ran n_passed n_skipped <<<"$(counts "$log/$name.linux.log")"
  read -r w_ran w_passed w_skipped <<<"$(counts "$log/$name.wine.log")"
  printf '%-22s %6s %6s %6s   %6s %6s %6s\n' "$name" "$n_ran" "$n_passed" "$n_skipped" "$w_ran" "$w_passed" "$w_skipped"
  if [ "$n_ran" = 0 ] || [ "$n_ran" != "$w_ran" ] || [ "$n_passed" != "$n_ran" ] ||
     [ $((w_passed + w_skipped)) != "$w_ran" ] || [ $((n_passed)) -lt $((w_passed)) ]; then
    grep -E '^\[  FAILED  \]|Failure|error' "$log/$name.wine.log" | head -n 20 || true
    echo "windows: $name differs between Linux and wine, or failed (logs in $log/$name.*.log)"
    failed=1
  fi
}

echo "== the libraries' suites, Linux and wine"
printf '%-22s %6s %6s %6s   %6s %6s %6s\n' suite "ran" passed skipped "ran" passed skipped
printf '%-22s %-22s   %s\n' "" "---------- Linux" "---------- wine"
for s in "${suites[@]}"; do
  compare_suite "${s##*/}" "build/tests/$s --gtest_brief=1" "wine build-win/tests/$s.exe --gtest_brief=1"
done

[ "$failed" = 0 ] || exit 1
echo "windows: every Windows test passed under wine"
