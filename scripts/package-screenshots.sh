#!/usr/bin/env bash
# scripts/package-screenshots.sh DEB OUTDIR
#
# Takes the screenshots of docs/ from the installed program: run AS ROOT INSIDE
# A FRESH Debian 12 root (as scripts/package-check.sh). Installs the package,
# starts `ostrel-demo` as an ordinary user under Xvfb, connects both links
# through the accessibility interface, scans the simulated panel
# (OUTDIR/ostrel-scan.png) and reads its registers (OUTDIR/ostrel-modbus.png).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "package-screenshots: FAILED: $*" >&2; exit 1; }
[ $# -eq 2 ] || fail "usage: $0 DEB OUTDIR"
[ "$(id -u)" -eq 0 ] || fail "run as root inside the fresh root"
deb=$(realpath "$1")
out=$(realpath -m "$2")
mkdir -p "$out"
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

apt-get update -qq
cp "$deb" "$work/"
(cd "$work" && apt-get install -y -q "./$(basename "$deb")") >/dev/null || fail "apt-get install of the package"
apt-get install -y -q --no-install-recommends xvfb xauth dbus-daemon at-spi2-core python3-pyatspi \
  python3-gi python3-xlib imagemagick fonts-dejavu-core >/dev/null || fail "apt-get install of the tools"
user=ostrelshots
id "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"

cp "$here/lib/drive-window.py" "$work/drive-window.py"
chmod 644 "$work/drive-window.py"
chown "$user" "$out"
runuser -u "$user" -- env -i HOME=/home/$user USER=$user PATH=/usr/bin:/bin LANG=C.UTF-8 \
  dbus-run-session -- python3 "$work/drive-window.py" screenshots "$out" 2>&1 | grep -v "dbus-daemon\|SpiRegistry\|XDG_RUNTIME" || true
[ -s "$out/ostrel-scan.png" ] && [ -s "$out/ostrel-modbus.png" ] || fail "no screenshots"
echo "package-screenshots: $out/ostrel-scan.png $out/ostrel-modbus.png"
