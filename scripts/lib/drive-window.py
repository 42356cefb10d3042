"""Drives the installed program's window on a private Xvfb server, through the
accessibility interface (as a screen reader would) and X client messages (as a
window manager would). Run as the ordinary user inside dbus-run-session.

  drive-window.py check writable     opens ostrel, presses "Save log" and closes
                                     the window: the log file and the settings
                                     file must be written
  drive-window.py check unwritable   the same with a home that cannot be written:
                                     the log pane must say the log cannot be
                                     written, and closing must show the settings
                                     warning once (answered with OK)
  drive-window.py screenshots OUT    opens ostrel-demo, connects both links, scans
                                     the simulated panel (OUT/ostrel-scan.png) and
                                     reads its registers (OUT/ostrel-modbus.png)

Any failure ends the program with a message saying what failed."""
import os
import signal
import subprocess
import sys
import time

import pyatspi
from Xlib import X, display, protocol

CAPTION = "Quorvel test configuration and read utility"
who = "drive-window"


def fail(text):
    sys.exit(f"{who}: FAILED: {text}")


def wait(what, cond, seconds, step=0.1):
    """cond()'s first true value within the time, else fails saying what."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        r = cond()
        if r:
            return r
        time.sleep(step)
    fail(f"{what} (waited {seconds} s)")


def all_matching(pred):
    found = []
    for a in pyatspi.Registry.getDesktop(0):
        if a is not None:
            found.extend(pyatspi.findAllDescendants(a, lambda x: x is not None and pred(x)))
    return found


def buttons(name):
    """Push buttons captioned name (a mnemonic's & left out)."""
    return all_matching(lambda x: x.getRole() == pyatspi.ROLE_PUSH_BUTTON and x.name.replace("&", "") == name)


def press(name, index=0, seconds=30):
    b = wait(f'the button "{name}"', lambda: buttons(name)[index:index + 1], seconds)[0]
    b.queryAction().doAction(0)


def text_of(x):
    try:
        return x.queryText().getText(0, -1)
    except NotImplementedError:
        return ""


def text_holding(words):
    """A text or label that holds words, or None."""
    def holds(x):
        if x.getRole() not in (pyatspi.ROLE_TEXT, pyatspi.ROLE_LABEL):
            return False
        return words in (x.name or "") or words in text_of(x)
    found = all_matching(holds)
    return found[0] if found else None


def log_text():
    """The longest text on screen: the log pane."""
    return max((text_of(t) for t in all_matching(lambda x: x.getRole() == pyatspi.ROLE_TEXT)), key=len, default="")


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
    fail(what)


def start_xvfb(number):
    xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stderr=subprocess.DEVNULL)
    os.environ["DISPLAY"] = f":{number}"
    wait("Xvfb starts", lambda: os.path.exists(f"/tmp/.X11-unix/X{number}"), 20)
    os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    return xvfb


def main_window(d, program):
    """The program's viewable top-level window with the caption, or None; fails
    when the program has ended."""
    def walk(w):
        try:
            name, attrs = w.get_wm_name(), w.get_attributes()
        except Exception:
            return None
        if name and CAPTION in str(name) and attrs.map_state == X.IsViewable:
            return w
        for c in w.query_tree().children:
            found = walk(c)
            if found:
                return found
        return None
    if program.poll() is not None:
        fail(f"the program ended with status {program.returncode} before its window opened")
    return walk(d.screen().root)


def close(d, win):
    """Asks the window to close, as a window manager does (WM_DELETE_WINDOW)."""
    ev = protocol.event.ClientMessage(window=win, client_type=d.intern_atom("WM_PROTOCOLS"),
                                      data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
    win.send_event(ev)
    d.flush()


def check(mode):
    cfg = os.path.join(os.environ["HOME"], ".config", "ostrel")
    xvfb = start_xvfb(77)
    app = subprocess.Popen(["ostrel"])
    try:
        d = display.Display()
        win = wait("the window opens under Xvfb", lambda: main_window(d, app), 60)
        print(f"{who}: the window is open:", win.get_wm_name())

        press("Save log", seconds=60)
        log = os.path.join(cfg, "files", "log.txt")
        if mode == "writable":
            wait(f'"Save log" writes {log}', lambda: os.path.isfile(log), 30)
            print(f"{who}: Save log wrote", log)
        else:
            wait("the log pane says the log cannot be written",
                 lambda: text_holding("Can not write file, no rights..."), 30)
            print(f"{who}: the log pane says the log cannot be written")

        close(d, win)
        if mode == "unwritable":
            wait('closing shows "Settings will not be saved, no write permission"',
                 lambda: text_holding("Settings will not be saved, no write permission"), 30)
            press("OK")
            print(f"{who}: closing warned that the settings will not be saved")
        wait("the window closes and ostrel ends (a second warning would keep it open)",
             lambda: app.poll() is not None, 60)
        if app.returncode != 0:
            fail(f"ostrel ended with status {app.returncode}")
        ini = os.path.join(cfg, "ostrel.ini")
        if mode == "writable":
            if not os.path.isfile(ini):
                fail(f"closing did not write {ini}")
            print(f"{who}: closing wrote", ini)
    finally:
        if app.poll() is None:
            app.kill()
        xvfb.terminate()
        xvfb.wait()


def screenshots(out):
    def select_page(index):
        tabs = wait("the page tabs", lambda: all_matching(lambda x: x.getRole() == pyatspi.ROLE_PAGE_TAB), 30)
        tabs[index].queryAction().doAction(0)
        time.sleep(0.5)

    def shoot(win, name):
        subprocess.run(["import", "-window", hex(win.id), os.path.join(out, name)], check=True)

    xvfb = start_xvfb(78)
    demo = subprocess.Popen(["ostrel-demo"], start_new_session=True)
    try:
        d = display.Display()
        win = wait("the window", lambda: main_window(d, demo), 60, step=0.2)
        wait("both connect buttons", lambda: len(buttons("Connect to port")) == 2, 30, step=0.2)
        for b in buttons("Connect to port"):
            b.queryAction().doAction(0)
        wait("both links connected", lambda: len(buttons("Disconnect")) == 2, 30, step=0.2)
        select_page(0)
        press("Scan local FP")
        settle("the scan", "QVFP: ")
        shoot(win, "ostrel-scan.png")
        select_page(1)
        press("Read registers")
        settle("the read-out", "QVMD:")
        shoot(win, "ostrel-modbus.png")
        close(d, win)
        wait("ostrel-demo ends", lambda: demo.poll() is not None, 30, step=0.2)
    finally:
        if demo.poll() is None:
            os.killpg(demo.pid, signal.SIGTERM)
        xvfb.terminate()
        xvfb.wait()


def main(argv):
    global who
    if len(argv) == 2 and argv[0] == "check" and argv[1] in ("writable", "unwritable"):
        who = "package-check"
        check(argv[1])
    elif len(argv) == 2 and argv[0] == "screenshots":
        who = "package-screenshots"
        screenshots(argv[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
