#!/usr/bin/env bash
# scripts/package-screenshots.sh DEB OUTDIR
#
# Takes the screenshots of docs/ from the installed program: run AS ROOT INSIDE
# A FRESH Debian 12 root (as scripts/package-check.sh). Installs the package,
# starts `ostrel-demo` as an ordinary user under Xvfb, connects both links
# through the accessibility interface, scans the simulated panel
# (OUTDIR/ostrel-scan.png) and reads its registers (OUTDIR/ostrel-modbus.png).
set -euo pipefail
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

cat >"$work/shoot.py" <<'PY'
import os, signal, subprocess, sys, time
import pyatspi
from Xlib import X, display, protocol

CAPTION = "Quorvel test configuration and read utility"
out = sys.argv[1]

def wait(what, cond, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        r = cond()
        if r:
            return r
        time.sleep(0.2)
    sys.exit(f"package-screenshots: FAILED: {what}")

def all_matching(pred):
    found = []
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None:
            found.extend(pyatspi.findAllDescendants(a, lambda x: x is not None and pred(x)))
    return found

def buttons(name):
    return all_matching(lambda x: x.getRole() == pyatspi.ROLE_PUSH_BUTTON and x.name == name)

def press(name, index=0):
    b = wait(f'the button "{name}"', lambda: buttons(name)[index:index + 1], 30)[0]
    b.queryAction().doAction(0)

def log_text():
    texts = all_matching(lambda x: x.getRole() == pyatspi.ROLE_TEXT)
    best = ""
    for t in texts:
        try:
            s = t.queryText().getText(0, -1)
        except NotImplementedError:
            continue
        if len(s) > len(best):
            best = s
    return best

def settle(what, must_hold, seconds=90):
    """Waits until the log pane holds must_hold and has not grown for 2 s."""
    end = time.monotonic() + seconds
    last, since = None, time.monotonic()
    while time.monotonic() < end:
        s = log_text()
        if s != last:
            last, since = s, time.monotonic()
        elif must_hold in s and time.monotonic() - since > 2:
            return s
        time.sleep(0.3)
    sys.exit(f"package-screenshots: FAILED: {what}")

def select_page(index):
    tabs = wait("the page tabs", lambda: all_matching(lambda x: x.getRole() == pyatspi.ROLE_PAGE_TAB), 30)
    tabs[index].queryAction().doAction(0)
    time.sleep(0.5)

xvfb = subprocess.Popen(["Xvfb", ":78", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                        stderr=subprocess.DEVNULL)
os.environ["DISPLAY"] = ":78"
wait("Xvfb", lambda: os.path.exists("/tmp/.X11-unix/X78"), 20)
os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
demo = subprocess.Popen(["ostrel-demo"], start_new_session=True)
try:
    d = display.Display()
    def main_window():
        def walk(w):
            try:
                name, attrs = w.get_wm_name(), w.get_attributes()
            except Exception:
                return None
            if name and CAPTION in str(name) and attrs.map_state == X.IsViewable:
                return w
            for c in w.query_tree().children:
                f = walk(c)
                if f:
                    return f
            return None
        return walk(d.screen().root)
    win = wait("the window", main_window, 60)
    wait("both connect buttons", lambda: len(buttons("Connect to port")) == 2, 30)
    for b in buttons("Connect to port"):
        b.queryAction().doAction(0)
    wait("both links connected", lambda: len(buttons("Disconnect")) == 2, 30)
    select_page(0)
    press("Scan local FP")
    settle("the scan", "QVFP: ")
    subprocess.run(["import", "-window", hex(win.id), os.path.join(out, "ostrel-scan.png")], check=True)
    select_page(1)
    press("Read registers")
    settle("the read-out", "QVMD:")
    subprocess.run(["import", "-window", hex(win.id), os.path.join(out, "ostrel-modbus.png")], check=True)
    ev = protocol.event.ClientMessage(window=win, client_type=d.intern_atom("WM_PROTOCOLS"),
                                      data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
    win.send_event(ev)
    d.flush()
    wait("ostrel-demo ends", lambda: demo.poll() is not None, 30)
finally:
    if demo.poll() is None:
        os.killpg(demo.pid, signal.SIGTERM)
    xvfb.terminate()
PY
chmod 644 "$work/shoot.py"
chown "$user" "$out"
runuser -u "$user" -- env -i HOME=/home/$user USER=$user PATH=/usr/bin:/bin LANG=C.UTF-8 \
  dbus-run-session -- python3 "$work/shoot.py" "$out" 2>&1 | grep -v "dbus-daemon\|SpiRegistry\|XDG_RUNTIME" || true
[ -s "$out/ostrel-scan.png" ] && [ -s "$out/ostrel-modbus.png" ] || fail "no screenshots"
echo "package-screenshots: $out/ostrel-scan.png $out/ostrel-modbus.png"
