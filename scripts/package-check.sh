#!/usr/bin/env bash
# scripts/package-check.sh DEB
#
# Checks the Debian package as a user meets it. Run AS ROOT INSIDE A FRESH
# Debian 12 root that reaches the apt registry (scripts/fresh-check.sh makes
# one). It
#   1. installs the package with `apt-get install ./ostrel_….deb` alone and
#      starts `ostrel` with nothing else installed; as an ordinary user runs
#      `ostrel-cli --help`, `ostrel-cli ports`, and `ostrel-cli read` against
#      the Modbus side of the simulated panel the package ships;
#   2. as an ordinary user, opens the window under Xvfb, presses "Save log"
#      (through the accessibility interface, as a screen reader would) and
#      closes the window (as a window manager would): ~/.config/ostrel/
#      files/log.txt and ~/.config/ostrel/ostrel.ini must then exist;
#   3. starts it with a read-only and with a missing home folder;
#   4. upgrades to a newer version with dpkg -i, then removes it with dpkg -r:
#      the user's files must stay as they were, the package's must go.
# Any failure stops the check with a message saying what failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

fail() { echo "package-check: FAILED: $*" >&2; exit 1; }
step() { echo "== package-check: $*"; }

[ $# -eq 1 ] || fail "usage: $0 DEB"
[ "$(id -u)" -eq 0 ] || fail "run as root inside the fresh root"
deb=$(realpath "$1")
[ -f "$deb" ] || fail "no such package: $1"
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

user=ostreltester
home=/home/$user
cfg=$home/.config/ostrel
# Runs a command as the ordinary user, in a clean login-like environment,
# with the home folder given first.
as_user_home() {
  local h=$1
  shift
  runuser -u "$user" -- env -i HOME="$h" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 "$@"
}
as_user() { as_user_home "$home" "$@"; }
# Starts the program and closes its window at once, without a display.
start_and_close() { as_user env QT_QPA_PLATFORM=offscreen OSTREL_QUIT_AFTER_SHOW=1 timeout 60 ostrel; }

step "apt-get install $(basename "$deb")"
apt-get update -qq || fail "apt-get update"
cp "$deb" "$work/"
(cd "$work" && apt-get install -y -q "./$(basename "$deb")") || fail "apt-get install of the package"
for f in /usr/bin/ostrel /usr/bin/ostrel-demo /usr/bin/ostrel-cli /usr/share/applications/ostrel.desktop \
         /usr/share/applications/ostrel-demo.desktop /usr/share/man/man1/ostrel.1.gz \
         /usr/share/man/man1/ostrel-demo.1.gz /usr/share/man/man1/ostrel-cli.1.gz \
         /usr/share/doc/ostrel/copyright /usr/share/doc/ostrel/changelog.gz \
         /usr/share/icons/hicolor/scalable/apps/ostrel.svg /usr/share/ostrel/manual/index.html; do
  [ -e "$f" ] || fail "the package did not install $f"
done
ls /usr/share/metainfo/*.metainfo.xml >/dev/null 2>&1 || fail "no AppStream metadata installed"
for exe in /usr/bin/ostrel /usr/bin/ostrel-cli /usr/bin/ostrel-monitor; do
  if ldd "$exe" | grep -q "not found"; then
    ldd "$exe" | grep "not found" >&2
    fail "libraries of $exe are missing: the package's dependencies are incomplete"
  fi
done

id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"

step "ostrel starts with only the package's dependencies"
as_user rm -rf "$cfg"
start_and_close >"$work/first.log" 2>&1 || { cat "$work/first.log"; fail "ostrel did not start and close"; }
[ -d "$cfg/files" ] || fail "the per-user folder $cfg/files was not created"
[ -f "$cfg/ostrel.ini" ] || fail "closing did not write $cfg/ostrel.ini"
[ ! -e /usr/bin/ostrel.ini ] || fail "settings were written beside the executable"
as_user rm -rf "$cfg"

step "ostrel-monitor as its own system user, as its systemd unit starts it"
id -nG ostrel-monitor 2>/dev/null | grep -qw dialout || fail "no system user ostrel-monitor in the group dialout"
[ "$(stat -c '%U:%G %a' /etc/ostrel/monitor)" = "root:ostrel-monitor 750" ] ||
  fail "/etc/ostrel/monitor is not root:ostrel-monitor 0750"
unit=/lib/systemd/system/ostrel-monitor@.service
[ -f "$unit" ] || fail "the package did not install $unit"
if command -v systemd-analyze >/dev/null; then
  cp "$unit" "$work/ostrel-monitor@check.service"
  systemd-analyze verify --man=no "$work/ostrel-monitor@check.service" || fail "systemd-analyze verify of the unit"
fi
# A broker nobody listens on and a port that is not there: the monitor keeps retrying both
# until SIGTERM, which must end it at once.
cat >/etc/ostrel/monitor/check.conf <<'CONF'
[broker]
url = mqtt://127.0.0.1:9
topic_prefix = check
[hall]
modbus_port = /dev/ostrel-no-such-port
slave = 1
registers = 1-10
CONF
chmod 640 /etc/ostrel/monitor/check.conf
chgrp ostrel-monitor /etc/ostrel/monitor/check.conf
runuser -u ostrel-monitor -- ostrel-monitor --check /etc/ostrel/monitor/check.conf ||
  fail "ostrel-monitor --check as its user"
# setpriv starts it as the unit does: its user, its groups, no new privileges, no shell between.
setpriv --reuid=ostrel-monitor --regid=ostrel-monitor --init-groups --no-new-privs \
  env -i PATH=/usr/bin:/bin OSTREL_DEVICE_DIR=/etc/ostrel/ports \
  ostrel-monitor /etc/ostrel/monitor/check.conf >"$work/monitor.log" 2>&1 &
monitor=$!
sleep 2
kill -0 "$monitor" 2>/dev/null || { cat "$work/monitor.log"; fail "ostrel-monitor ended by itself"; }
kill -TERM "$monitor"
for _ in $(seq 1 10); do kill -0 "$monitor" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$monitor" 2>/dev/null; then
  cat "$work/monitor.log"
  fail "ostrel-monitor did not end within a second of SIGTERM"
fi
code=0
wait "$monitor" || code=$?
cat "$work/monitor.log"
[ "$code" -eq 0 ] && grep -q "ostrel-monitor: stopped" "$work/monitor.log" ||
  fail "ostrel-monitor did not stop as asked (exit $code)"
rm -f /etc/ostrel/monitor/check.conf

step "ostrel-cli as $user: --help, ports, and a read-out from the simulated panel"
as_user ostrel-cli --help >"$work/cli-help.txt" 2>&1 || { cat "$work/cli-help.txt"; fail "ostrel-cli --help"; }
grep -q "^Usage: ostrel-cli COMMAND" "$work/cli-help.txt" || fail "ostrel-cli --help does not show its usage"
as_user ostrel-cli ports >"$work/cli-ports.txt" 2>&1 || { cat "$work/cli-ports.txt"; fail "ostrel-cli ports"; }
cat "$work/cli-ports.txt"
grep -q "^Device map $cfg/ports:" "$work/cli-ports.txt" || fail "ostrel-cli ports does not list the user's device map"
as_user ostrel-cli ports --json >"$work/cli-ports.json" 2>&1 || fail "ostrel-cli ports --json"
python3 -c 'import json, sys; json.load(open(sys.argv[1]))' "$work/cli-ports.json" ||
  fail "ostrel-cli ports --json is not one JSON document"
cat >"$work/cli-read.sh" <<'SH'
# As the user: the installed simulator's Modbus side on COM2 of a device map
# of its own, one read-out of three registers as CSV, then the simulator stops.
set -u
links=$(mktemp -d)
python3 -B /usr/share/ostrel/qvsim --link-dir "$links" --modbus >"$links/paths" 2>"$links/sim.log" &
sim=$!
tries=0
until [ -e "$links/COM2" ]; do
  if ! kill -0 "$sim" 2>/dev/null || [ "$tries" -ge 200 ]; then
    cat "$links/sim.log" >&2
    echo "the simulated panel did not start" >&2
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.05
done
OSTREL_DEVICE_DIR=$links timeout 60 ostrel-cli read --port COM2 --count 3 --format csv
status=$?
kill "$sim"
wait "$sim"
rm -rf "$links"
exit $status
SH
chmod 644 "$work/cli-read.sh"
as_user sh "$work/cli-read.sh" >"$work/cli-read.csv" 2>"$work/cli-read.err" ||
  { cat "$work/cli-read.err" "$work/cli-read.csv"; fail "ostrel-cli read from the simulated panel's Modbus side"; }
tr -d '\r' <"$work/cli-read.csv" >"$work/cli-read.txt"  # its lines end in CR LF, as spreadsheets like
cat "$work/cli-read.txt"
[ "$(head -n1 "$work/cli-read.txt")" = "time;result;1;1 high;1 low;2;2 high;2 low;3;3 high;3 low;1 value;2 value;3 value;" ] ||
  fail "ostrel-cli read wrote no CSV header"
sed -n 2p "$work/cli-read.txt" | grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[^;]+;ok;[0-9A-F]{4};' ||
  fail "ostrel-cli read wrote no good read-out record"

step "installing the tools that drive the window (Xvfb, AT-SPI, Xlib)"
apt-get install -y -q --no-install-recommends xvfb xauth dbus-daemon at-spi2-core python3-pyatspi \
  python3-gi python3-xlib >/dev/null || fail "apt-get install of the test tools"

# The window is driven by the user, who may not read this checkout: a copy in the work folder.
cp "$here/lib/drive-window.py" "$work/drive-window.py"
chmod 644 "$work/drive-window.py"

step "the window under Xvfb: Save log and close, as $user"
as_user dbus-run-session -- python3 "$work/drive-window.py" check writable || fail "driving the window (see above)"
log_sum=$(sha256sum <"$cfg/files/log.txt")
ini_sum=$(sha256sum <"$cfg/ostrel.ini")

step "a read-only home folder and a missing one: defaults, both failures said, nothing written"
ro=/home/ostrel-readonly
mkdir -p "$ro" && chown "$user" "$ro" && chmod 555 "$ro"
as_user_home "$ro" dbus-run-session -- python3 "$work/drive-window.py" check unwritable || fail "ostrel with a read-only home"
[ -z "$(ls -A "$ro")" ] || fail "ostrel wrote into a read-only home"
as_user_home /nonexistent/home dbus-run-session -- python3 "$work/drive-window.py" check unwritable ||
  fail "ostrel with a missing home"
[ ! -e /nonexistent ] || fail "ostrel created a missing home folder"
{ [ ! -e /usr/bin/ostrel.ini ] && [ ! -e /usr/bin/files ]; } || fail "ostrel wrote beside its executable"

step "upgrade with dpkg -i to a newer version"
old_version=$(dpkg-query -W -f='${Version}' ostrel)
new_version="${old_version}+check1"
dpkg-deb -R "$deb" "$work/newer"
sed -i "s/^Version: .*/Version: $new_version/" "$work/newer/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/newer" "$work/ostrel_${new_version}_amd64.deb" >/dev/null
dpkg -i "$work/ostrel_${new_version}_amd64.deb" || fail "dpkg -i of the newer version"
[ "$(dpkg-query -W -f='${Version}' ostrel)" = "$new_version" ] || fail "the newer version is not installed"
start_and_close >"$work/upgraded.log" 2>&1 || { cat "$work/upgraded.log"; fail "ostrel after the upgrade"; }
[ "$(sha256sum <"$cfg/files/log.txt")" = "$log_sum" ] || fail "the upgrade changed the user's log file"
[ "$(sha256sum <"$cfg/ostrel.ini")" = "$ini_sum" ] || fail "the user's settings did not survive the upgrade"

step "dpkg -r"
dpkg -L ostrel | while read -r f; do [ -f "$f" ] && echo "$f"; done >"$work/files"
dpkg -r ostrel || fail "dpkg -r"
while read -r f; do [ ! -e "$f" ] || fail "dpkg -r left $f"; done <"$work/files"
[ "$(sha256sum <"$cfg/files/log.txt")" = "$log_sum" ] || fail "removal touched the user's log file"
[ "$(sha256sum <"$cfg/ostrel.ini")" = "$ini_sum" ] || fail "removal touched the user's settings"

echo "package-check: PASSED ($(basename "$deb"): install, window, ostrel-cli, Save log, settings, read-only and missing home, upgrade, removal)"
