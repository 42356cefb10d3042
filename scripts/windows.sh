#!/usr/bin/env bash
# Ostrel for Windows: cross-built with mingw-w64 against Qt for Windows (built from Debian's
# source by scripts/qt-windows.sh into a cache outside the checkout), packaged as an installer
# and a portable zip (scripts/windows-package.sh), and tested under wine.
#
#   bash scripts/windows.sh           build, package, then run every Windows test under wine
#   bash scripts/windows.sh --build   build and package only: build-win/app/ostrel.exe,
#                                     build-win/cli/ostrel-cli.exe, build-win/ostrel-*-setup.exe
#                                     and build-win/ostrel-*-windows.zip
#
# The tests: each library and window suite under wine, its count beside the Linux build's
# (cases of suites named *OnLinux or *OnWindows are counted apart); the device suite on two
# pseudo-terminals mapped as COM ports; the whole window with Windows' own platform plugin on
# an X server, its COM1 the simulated panel and its COM2 the pymodbus slave; the installer and
# the zip; and ostrel-cli.exe reading 125 registers from the pymodbus slave and scanning the
# simulated panel, and through modbus-tcp:// from pymodbus' Modbus TCP server, each output
# compared with the Linux ostrel-cli's against the same peer.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh --windows
qt=$(bash scripts/qt-windows.sh)
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DOSTREL_GUI=ON -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_FIND_ROOT_PATH="$qt" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake --log-level=WARNING
cmake --build build-win -j "$(nproc)"
echo "windows: build-win/app/ostrel.exe, $(stat -c %s build-win/app/ostrel.exe) bytes;" \
  "build-win/cli/ostrel-cli.exe, $(stat -c %s build-win/cli/ostrel-cli.exe) bytes"
bash scripts/windows-package.sh "$qt"
[ "${1:-}" = "--build" ] && exit 0

# The Linux side of each comparison comes from the normal build.
suites=(common/common_tests modbus/modbus_tests panel/panel_tests serial/serial_tests)
window_suites=(app/app_ini_tests app/app_window_tests app_csv/app_csv_tests)
cmake -S . -B build -G Ninja --log-level=WARNING
cmake --build build -j "$(nproc)" --target "${suites[@]##*/}" "${window_suites[@]##*/}" serial_device_tests ostrel-cli

export WINEPREFIX="$root/build-win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log="$root/build-win/test-logs"
mkdir -p "$log"
failed=0
peers=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-peers.XXXXXX")
peer_pids=()
cleanup() {
  local pid
  # Wine first: its processes hold the X server, which goes with the peers.
  wineserver -k >/dev/null 2>&1 || true
  for pid in "${peer_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$peers"
  wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1
  # A new prefix says it is Windows 7; Qt 6 expects Windows 10.
  wine winecfg -v win10 >/dev/null 2>&1
fi
# Windows' dialog font, "MS Shell Dlg", is Tahoma; Qt finds wine's own Tahoma (fonts-wine)
# only when the prefix lists it among the installed fonts. Without it Qt falls back to any
# font, and a tall one (DejaVu Math) puts the text of every edit box out of sight.
fonts_key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
wine reg add "$fonts_key" /v 'Tahoma (TrueType)' /d "$(winepath -w /usr/share/wine/fonts/tahoma.ttf)" /f >/dev/null 2>&1
wine reg add "$fonts_key" /v 'Tahoma Bold (TrueType)' /d "$(winepath -w /usr/share/wine/fonts/tahomabd.ttf)" /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
# Wine's windows, and so every Qt program under it, need an X server.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$peers/display" >/dev/null 2>&1 &
peer_pids+=($!)
for _ in $(seq 500); do [ -s "$peers/display" ] && break; sleep 0.01; done
[ -s "$peers/display" ] || { echo "windows: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$peers/display")"
# The window's suites run from a folder laid out as the program's own: the staged DLLs and
# plugins beside them, with Qt's test library and the offscreen platform added. (Found through
# WINEPATH instead, Qt's DLLs hang at start under wine.)
runner=$root/build-win/wine-run
rm -rf "$runner"
cp -r "$root/build-win/stage/Ostrel" "$runner"
cp "$qt/bin/Qt6Test.dll" "$runner/"
cp "$qt/plugins/platforms/qoffscreen.dll" "$runner/platforms/"
for s in app/app_ini_tests app/app_window_tests app_csv/app_csv_tests windows_window/windows_window_tests; do
  cp "build-win/tests/$s.exe" "$runner/"
done

# "ran passed skipped" of a GoogleTest run's output.
counts() {
  local ran passed skipped
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$1" | tail -n 1)
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$1" | tail -n 1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?[.,].*/\1/p' "$1" | tail -n 1)
  echo "${ran:-0} ${passed:-0} ${skipped:-0}"
}

# The number of cases of a GoogleTest binary's suites that match a filter.
cases_matching() {
  bash -c "$1 --gtest_list_tests --gtest_filter='$2'" 2>/dev/null | grep -c '^  ' || true
}

# suite, Linux command ("" for a suite only Windows has), wine command: runs them, prints a
# row, and fails when a run failed or the two ran different counts once the cases only one
# platform has (suites *OnLinux, *OnWindows) are set apart; those are listed, never counted
# as passed on the other.
compare_suite() {
  local name=$1 native_cmd=$2 wine_cmd=$3 bad=0
  local n_ran=- n_passed=- n_skipped=- w_ran w_passed w_skipped linux_only=0 windows_only
  bash -c "$wine_cmd" >"$log/$name.wine.log" 2>&1 || true
  read -r w_ran w_passed w_skipped <<<"$(counts "$log/$name.wine.log")"
  [ "$w_ran" != 0 ] && [ $((w_passed + w_skipped)) = "$w_ran" ] || bad=1
  windows_only=$(cases_matching "$wine_cmd" '*OnWindows*')
  if [ -n "$native_cmd" ]; then
    bash -c "$native_cmd" >"$log/$name.linux.log" 2>&1 || true
    read -r n_ran n_passed n_skipped <<<"$(counts "$log/$name.linux.log")"
    linux_only=$(cases_matching "$native_cmd" '*OnLinux*')
    [ "$n_ran" != 0 ] && [ $((n_ran - linux_only)) = $((w_ran - windows_only)) ] &&
      [ $((n_passed + n_skipped)) = "$n_ran" ] || bad=1
  else
    windows_only=$w_ran
  fi
  printf '%-22s %6s %6s %6s   %6s %6s %6s   %6s %6s\n' "$name" "$n_ran" "$n_passed" "$n_skipped" \
    "$w_ran" "$w_passed" "$w_skipped" "$linux_only" "$windows_only"
  if [ "$bad" = 1 ]; then
    grep -E '^\[  FAILED  \]|Failure|error' "$log/$name.wine.log" | head -n 20 || true
    echo "windows: $name differs between Linux and wine, or failed (logs in $log/$name.*.log)"
    failed=1
  fi
}

echo "== the libraries' suites, Linux and wine"
printf '%-22s %6s %6s %6s   %6s %6s %6s   %6s %6s\n' suite "ran" passed skipped "ran" passed skipped Linux Windows
printf '%-22s %-22s   %-22s   %s\n' "" "---------- Linux" "---------- wine" "-- only on"
for s in "${suites[@]}"; do
  compare_suite "${s##*/}" "build/tests/$s --gtest_brief=1" "wine build-win/tests/$s.exe --gtest_brief=1"
done
# The window's suites under the offscreen platform; those over pseudo-terminals, the Modbus
# slave, the X server's captions and the Debian package are Linux's (the whole window over
# COM ports runs below).
for s in "${window_suites[@]}"; do
  compare_suite "${s##*/}" "QT_QPA_PLATFORM=offscreen build/tests/$s --gtest_brief=1" \
    "QT_QPA_PLATFORM=offscreen wine '$runner/${s##*/}.exe' --gtest_brief=1"
done

# What only Windows has (its error codes, device names, line timing) runs under wine alone.
compare_suite win32_tests "" "wine build-win/tests/win32/win32_tests.exe --gtest_brief=1"

echo "== the device suite: two pseudo-terminals, linked, as COM1 and COM2"
compare_suite serial_device_tests "build/tests/serial_device/serial_device_tests --gtest_brief=1" \
  "testing/wine/port-pair.sh --pair COM1,COM2 -- wine build-win/tests/serial_device/serial_device_tests.exe --gtest_brief=1"

# Waits up to 10 s (or the seconds given second) for a condition (a shell test), false then.
await() {
  local tries=$((${2:-10} * 100))
  while ((tries--)); do
    if eval "$1"; then return 0; fi
    sleep 0.01
  done
  return 1
}

echo "== ostrel-cli.exe under wine beside the Linux ostrel-cli, against the same peers"
# The simulated panel as COM1 and the pymodbus slave as COM2 of a device map; socat joins
# COM2 to the slave's own pseudo-terminal. Wine gets the same two names.
/usr/bin/python3 tools/qvsim --link-dir "$peers" >"$log/qvsim.log" 2>&1 &
peer_pids+=($!)
socat pty,raw,echo=0,link="$peers/COM2" pty,raw,echo=0,link="$peers/slave" &
peer_pids+=($!)
await '[ -e "$peers/COM1" ] && [ -e "$peers/slave" ]' || { echo "windows: the peers did not start"; exit 1; }
/usr/bin/python3 tests/e2e/modbus_slave.py --port "$peers/slave" --input-count 200 >"$log/slave.log" 2>&1 &
peer_pids+=($!)
await 'grep -q READY "$log/slave.log"' || { echo "windows: the Modbus slave did not start"; exit 1; }
# pymodbus' Modbus TCP server on a free loopback port, for ostrel-cli's modbus-tcp:// (Winsock).
mbtcp=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 tests/e2e/modbus_slave.py --tcp "127.0.0.1:$mbtcp" --input-count 200 >"$log/tcp-slave.log" 2>&1 &
peer_pids+=($!)
await 'grep -q READY "$log/tcp-slave.log"' || { echo "windows: the Modbus TCP server did not start"; exit 1; }

# Each case: a name and ostrel-cli's arguments; its standard output, standard error and exit
# code on both (the missing port's message names the remedy of each system).
cases=(
  "read-125|read --port COM2 --count 125"
  "read-csv|read --port COM2 --start 100 --count 10 --format csv"
  "scan-csv|scan --port COM1"
  "scan-json|scan --port COM1 --json"
  "poll-jsonl|read --port COM2 --count 3 --every 0.2 --for 1s --format jsonl -o poll.jsonl"
  "clock|write clock --port COM2"
  "no-port|read --port COM200"
  "modbus-tcp|read --port modbus-tcp://127.0.0.1:$mbtcp --count 125"
  "tcp-refused|read --port tcp://127.0.0.1:1 --count 1"
)
script="$log/cli-under-wine.sh"
echo 'cd "$1"' >"$script"
for c in "${cases[@]}"; do
  name=${c%%|*} args=${c#*|}
  (cd "$log" && mkdir -p "linux-$name" && cd "linux-$name" &&
    { s=0 && OSTREL_DEVICE_DIR=$peers "$root/build/cli/ostrel-cli" $args >stdout 2>stderr || s=$?; echo $s >status; })
  echo "mkdir -p wine-$name && (cd wine-$name && wine '$root/build-win/cli/ostrel-cli.exe' $args >stdout 2>stderr; echo \$? >status)" >>"$script"
done
# Windows' own "ports": both mapped ports present and free.
echo "wine '$root/build-win/cli/ostrel-cli.exe' ports --json >ports.json 2>&1" >>"$script"
testing/wine/port-pair.sh --map COM1="$peers/COM1" --map COM2="$peers/COM2" -- bash "$script" "$log"
for port in COM1 COM2; do
  if ! grep -q "\"name\": \"$port\", .*\"state\": \"free\"" "$log/ports.json"; then
    echo "windows: ostrel-cli.exe ports does not list $port as free ($log/ports.json)"
    failed=1
  fi
done

# The times in the output differ between the runs: a poll's time stamps must be ISO 8601 with
# the zone's offset, and then every time is compared as "TIME".
stamp='"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}[+-][0-9]{2}:[0-9]{2}"'
any_time='[0-9]{4}-[0-9]{2}-[0-9]{2}[T ][0-9]{2}:[0-9]{2}:[0-9]{2}(\.[0-9]{3})?([+-][0-9]{2}:[0-9]{2})?'
printf '%-12s %-8s %-8s %s\n' case linux wine "standard output and error"
for c in "${cases[@]}"; do
  name=${c%%|*}
  l="$log/linux-$name" w="$log/wine-$name"
  for side in "$l" "$w"; do
    if [ -f "$side/poll.jsonl" ]; then
      records=$(wc -l <"$side/poll.jsonl") stamped=$(grep -Ec "$stamp" "$side/poll.jsonl" || true)
      [ "$records" = "$stamped" ] || echo "poll: $((records - stamped)) of $records records without an ISO 8601 time" >>"$side/stdout"
      cat "$side/poll.jsonl" >>"$side/stdout"
    fi
    sed -Ei "s/$any_time/TIME/g" "$side/stdout"
  done
  verdict="same, $(wc -c <"$l/stdout") bytes"
  same_errors=1
  [ "$name" = no-port ] || cmp -s "$l/stderr" "$w/stderr" || same_errors=0
  if ! cmp -s "$l/stdout" "$w/stdout" || [ "$same_errors" = 0 ] || [ "$(cat "$l/status")" != "$(cat "$w/status")" ]; then
    verdict="DIFFERS (see $w)"
    failed=1
  fi
  printf '%-12s %-8s %-8s %s\n' "$name" "exit $(cat "$l/status")" "exit $(cat "$w/status")" "$verdict"
done

echo "== the whole window under wine: COM1 the simulated panel, COM2 the pymodbus slave"
shots=$root/build-win/screenshots
rm -rf "$shots" && mkdir -p "$shots"
window_cmd="OSTREL_SCREENSHOT_DIR='$(winepath -w "$shots")' wine '$runner/windows_window_tests.exe'"
compare_suite windows_window_tests "" \
  "testing/wine/port-pair.sh --map COM1='$peers/COM1' --map COM2='$peers/COM2' -- bash -c \"$window_cmd\""
for shot in scan.png readout.png; do
  [ -s "$shots/$shot" ] || { echo "windows: no screenshot $shot of the window"; failed=1; }
done
echo "windows: screenshots of the window in $shots"

echo "== the installer and the portable zip under wine"
# Each check: a description, then a shell test.
check() {
  if eval "$2"; then echo "  ok: $1"; else echo "  FAILED: $1"; failed=1; fi
}
setup=$(ls build-win/ostrel-*-setup.exe)
zip=$(ls build-win/ostrel-*-windows.zip)
version=$(basename "$setup" | sed 's/^ostrel-\(.*\)-setup.exe$/\1/')
installed="$WINEPREFIX/drive_c/Program Files/Ostrel"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostrel'
appdata=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')")
rm -rf "$appdata/Ostrel" "$installed"
wine "$setup" /S >"$log/setup.log" 2>&1 || true
check "silent install put ostrel.exe, Qt and the uninstaller into Program Files" \
  '[ -f "$installed/ostrel.exe" ] && [ -f "$installed/Qt6Widgets.dll" ] && [ -f "$installed/platforms/qwindows.dll" ] && [ -f "$installed/Uninstall.exe" ]'
check "the manual, Qt's licence and the CLI's JSON Schemas are installed" \
  '[ -f "$installed/manual/index.html" ] && [ -f "$installed/licences/Qt-LGPL-3.0.txt" ] && [ -f "$installed/schemas/scan.schema.json" ]'
check "Apps & features lists Ostrel $version" \
  'wine reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | grep -q "$version"'
check "the Start menu has Ostrel" \
  '[ -n "$(find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Ostrel" -name "Ostrel.lnk" 2>/dev/null)" ]'
OSTREL_QUIT_AFTER_SHOW=1 timeout 120 wine "$installed/ostrel.exe" >"$log/installed-run.log" 2>&1 || true
check "the installed ostrel.exe showed its window and wrote %APPDATA%\\Ostrel\\ostrel.ini" \
  '[ -f "$appdata/Ostrel/ostrel.ini" ] && [ -d "$appdata/Ostrel/files" ] && grep -q $'"'"'^\[Com port\]\r$'"'"' "$appdata/Ostrel/ostrel.ini"'
check "nothing was written into Program Files" '[ ! -e "$installed/ostrel.ini" ]'
wine "$installed/Uninstall.exe" /S >"$log/uninstall.log" 2>&1 || true
# The uninstaller runs on from a copy of itself: wait until it has removed the folder.
await '[ ! -e "$installed" ]' 60 || true
check "silent uninstall removed the program, its entry and its Start menu folder" \
  '[ ! -e "$installed" ] && ! wine reg query "$uninstall_key" >/dev/null 2>&1 && [ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Ostrel" ]'
check "the user's settings stay after the uninstall" '[ -f "$appdata/Ostrel/ostrel.ini" ]'
unzipped=$log/unzipped
rm -rf "$unzipped" && mkdir -p "$unzipped"
python3 -m zipfile -e "$zip" "$unzipped"
OSTREL_QUIT_AFTER_SHOW=1 timeout 120 wine "$unzipped/Ostrel/ostrel.exe" >"$log/zip-run.log" 2>&1 || true
check "the unzipped ostrel.exe keeps ostrel.ini beside itself" \
  '[ -f "$unzipped/Ostrel/ostrel.ini" ] && [ -d "$unzipped/Ostrel/files" ]'

[ "$failed" = 0 ] || exit 1
echo "windows: every Windows test passed under wine"
