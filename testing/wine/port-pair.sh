#!/usr/bin/env bash
# Runs a command with pseudo-terminals mapped as COM ports in a wine prefix, so that a Windows
# build under wine talks to them as to serial ports.
#
#   testing/wine/port-pair.sh [--pair COMa,COMb]... [--map COMn=DEVICE]... [--] COMMAND [ARG...]
#
#   --pair COM1,COM2   links two new pseudo-terminals (socat, raw mode) and maps them as COM1
#                      and COM2: what is written to one is read from the other. The first
#                      pair's names go to the command as OSTREL_TEST_PORT_A and _B. This is
#                      the default when no option is given.
#   --map COM3=/dev/pts/7
#                      maps an existing device, e.g. the pseudo-terminal of a Modbus slave or
#                      of a simulated panel.
#
# The command runs with WINEPREFIX (default: the harness's own prefix in
# ${XDG_CACHE_HOME:-~/.cache}/ostrel-wine, made at the first run), WINEDEBUG=-all unless set,
# and LD_PRELOAD naming ptymodem.so, built here from ptymodem.c, which lends the
# pseudo-terminals the modem lines wine's serial calls ask for. Its exit status is the
# script's. On every way out socat is ended and the links are removed. One run at a time per
# prefix: the ports are links of fixed names inside it.
#
#   testing/wine/port-pair.sh -- wine build-win/tests/serial_device/serial_device_tests.exe
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
pairs=()
maps=()
while (($#)); do
  case $1 in
    --pair) pairs+=("$2"); shift 2 ;;
    --map) maps+=("$2"); shift 2 ;;
    --) shift; break ;;
    -*) echo "port-pair.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
if (($# == 0)); then
  echo "usage: port-pair.sh [--pair COMa,COMb]... [--map COMn=DEVICE]... [--] COMMAND [ARG...]" >&2
  exit 2
fi
((${#pairs[@]} + ${#maps[@]})) || pairs=(COM1,COM2)

export WINEPREFIX=${WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/ostrel-wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
ports_dir=$WINEPREFIX/ostrel-ports
work=$(mktemp -d "${TMPDIR:-/tmp}/ostrel-ports.XXXXXX")
socats=()
names=()

command_pid=
cleanup() {
  local pid name
  if [[ -n $command_pid ]]; then
    kill "$command_pid" 2>/dev/null || true
    wait "$command_pid" 2>/dev/null || true
  fi
  for pid in "${socats[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  for name in "${names[@]}"; do rm -f "$ports_dir/$name"; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

valid_name() {
  [[ $1 =~ ^COM[1-9][0-9]*$ ]] || { echo "port-pair.sh: $1 is no COM port name" >&2; exit 2; }
}

# Waits until socat has made both links (it runs in the background).
await_links() {
  local pid=$1 tries=500
  shift
  while ((tries--)); do
    local missing=0 link
    for link in "$@"; do [[ -e $link ]] || missing=1; done
    ((missing)) || return 0
    kill -0 "$pid" 2>/dev/null || { echo "port-pair.sh: socat ended early" >&2; exit 1; }
    sleep 0.01
  done
  echo "port-pair.sh: socat made no pseudo-terminals" >&2
  exit 1
}

gcc -shared -fPIC -O2 -Wall -o "$work/ptymodem.so" "$here/ptymodem.c" -ldl
mkdir -p "$ports_dir"

for pair in "${pairs[@]}"; do
  IFS=, read -r first second <<<"$pair"
  valid_name "$first"
  valid_name "$second"
  rm -f "$ports_dir/$first" "$ports_dir/$second"
  names+=("$first" "$second")
  socat PTY,link="$ports_dir/$first",raw,echo=0 PTY,link="$ports_dir/$second",raw,echo=0 &
  socats+=($!)
  await_links $! "$ports_dir/$first" "$ports_dir/$second"
  if [[ -z ${OSTREL_TEST_PORT_A:-} ]]; then
    export OSTREL_TEST_PORT_A=$first OSTREL_TEST_PORT_B=$second
  fi
done
for map in "${maps[@]}"; do
  name=${map%%=*}
  device=${map#*=}
  valid_name "$name"
  [[ -e $device ]] || { echo "port-pair.sh: $device does not exist" >&2; exit 1; }
  names+=("$name")
  ln -sfn "$device" "$ports_dir/$name"
done

# Wine makes its COM devices from the registry when the prefix starts, so a new mapping is
# written and the prefix let go before the command starts it again. A mapping made by an
# earlier run is there already: the links have fixed names.
stale=()
for name in "${names[@]}"; do
  [[ $(readlink "$WINEPREFIX/dosdevices/${name,,}" 2>/dev/null) == "$ports_dir/$name" ]] || stale+=("$name")
done
if ((${#stale[@]})); then
  wineserver -p0 </dev/null >/dev/null 2>&1 || true  # a server that runs already keeps running
  for name in "${stale[@]}"; do
    wine reg add 'HKLM\Software\Wine\Ports' /v "$name" /d "$ports_dir/$name" /f </dev/null >/dev/null 2>&1
  done
  # A server kept running (wineserver -p) would keep the old devices: it is ended then.
  timeout 20 wineserver -w || wineserver -k || true
fi
# The prefix's own processes are started here, with no terminal or pipe of the caller's, so
# they do not hold the command's output open after it ends.
wineserver -p3 </dev/null >/dev/null 2>&1 || true
wine wineboot </dev/null >/dev/null 2>&1 || true

# The command runs in the background so that a signal reaches this script at once (bash runs
# traps only between commands); it keeps the caller's input.
LD_PRELOAD="$work/ptymodem.so${LD_PRELOAD:+:$LD_PRELOAD}" "$@" <&0 &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=
exit "$status"
