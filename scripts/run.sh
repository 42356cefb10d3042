#!/usr/bin/env bash
# Sets everything up, builds and runs Ostrel.
#
# Until real hardware is configured (no OSTREL_DEVICE_DIR and no entry in the
# device map folder, see README), the simulated panel is started on two virtual
# lines mapped as COM1 (panel protocol) and COM2 (Modbus RTU), and Ostrel is
# pointed at them. Set OSTREL_SIMULATOR=0 to never start it, =1 to always.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "run: Ostrel is a desktop program and no display is set (DISPLAY or WAYLAND_DISPLAY);" >&2
  echo "run: start this command from a terminal of a desktop session." >&2
  exit 1
fi

map_dir=${OSTREL_DEVICE_DIR:-${XDG_CONFIG_HOME:-$HOME/.config}/ostrel/ports}
use_sim=${OSTREL_SIMULATOR:-}
if [ -z "$use_sim" ]; then
  if [ -z "${OSTREL_DEVICE_DIR:-}" ] && ! ls "$map_dir"/COM* >/dev/null 2>&1; then use_sim=1; else use_sim=0; fi
fi

if [ "$use_sim" = 1 ]; then
  links=$(mktemp -d)
  python3 tools/qvsim --link-dir "$links" --modbus >"$links/paths" 2>"$links/sim.log" &
  sim=$!
  trap 'kill "$sim" 2>/dev/null || true; rm -rf "$links"' EXIT
  # Both lines must be there before Ostrel starts: up to 10 s, less if the simulator ends.
  tries=0
  until [ -e "$links/COM1" ] && [ -e "$links/COM2" ]; do
    if ! kill -0 "$sim" 2>/dev/null || [ "$tries" -ge 200 ]; then
      cat "$links/sim.log" >&2
      echo "run: the simulated panel did not come up (tools/qvsim; its messages are above)." >&2
      echo "run: set OSTREL_SIMULATOR=0 to start Ostrel without it." >&2
      exit 1
    fi
    tries=$((tries + 1))
    sleep 0.05
  done
  export OSTREL_DEVICE_DIR=$links
  echo "Simulated panel: COM1 (panel protocol) and COM2 (Modbus RTU); log in $links/sim.log"
  # A first start gets a settings file with the Modbus link on COM2.
  ini=build/app/ostrel.ini
  if [ ! -e "$ini" ]; then
    printf '[Modbus port]\r\nName=COM2\r\n' >"$ini"
  fi
  build/app/ostrel
else
  exec build/app/ostrel
fi
