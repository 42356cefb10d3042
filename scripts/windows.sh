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
cmake --build build -j "$(nproc)" --target "${suites[@]##*/}" serial_device_tests ostrel-cli

export WINEPREFIX="$root/build-win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
log="$root/build-win/test-logs"
mkdir -p "$log"
failed=0
peers=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-peers.XXXXXX")
peer_pids=()
cleanup() {
  local pid
  for pid in "${peer_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$peers"
  wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1

# "ran passed skipped" of a GoogleTest run's output.
counts() {
  local ran passed skipped
  ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\? from .* ran\..*/\1/p' "$1" | tail -n 1)
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$1" | tail -n 1)
  skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?[.,].*/\1/p' "$1" | tail -n 1)
  echo "${ran:-0} ${passed:-0} ${skipped:-0}"
}

# suite, Linux command ("" for a suite only Windows has), wine command: runs them, prints a
# row, and fails when a run failed or the two ran different counts.
compare_suite() {
  local name=$1 native_cmd=$2 wine_cmd=$3 bad=0
  local n_ran=- n_passed=- n_skipped=- w_ran w_passed w_skipped
  bash -c "$wine_cmd" >"$log/$name.wine.log" 2>&1 || true
  read -r w_ran w_passed w_skipped <<<"$(counts "$log/$name.wine.log")"
  [ "$w_ran" != 0 ] && [ $((w_passed + w_skipped)) = "$w_ran" ] || bad=1
  if [ -n "$native_cmd" ]; then
    bash -c "$native_cmd" >"$log/$name.linux.log" 2>&1 || true
    read -r n_ran n_passed n_skipped <<<"$(counts "$log/$name.linux.log")"
    [ "$n_ran" != 0 ] && [ "$n_ran" = "$w_ran" ] && [ "$n_passed" = "$n_ran" ] || bad=1
  fi
  printf '%-22s %6s %6s %6s   %6s %6s %6s\n' "$name" "$n_ran" "$n_passed" "$n_skipped" "$w_ran" "$w_passed" "$w_skipped"
  if [ "$bad" = 1 ]; then
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

# What only Windows has (its error codes, device names, line timing) runs under wine alone.
compare_suite win32_tests "" "wine build-win/tests/win32/win32_tests.exe --gtest_brief=1"

echo "== the device suite: two pseudo-terminals, linked, as COM1 and COM2"
compare_suite serial_device_tests "build/tests/serial_device/serial_device_tests --gtest_brief=1" \
  "testing/wine/port-pair.sh --pair COM1,COM2 -- wine build-win/tests/serial_device/serial_device_tests.exe --gtest_brief=1"

# Waits up to 10 s for a condition (a shell test), false then.
await() {
  local tries=1000
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

[ "$failed" = 0 ] || exit 1
echo "windows: every Windows test passed under wine"
