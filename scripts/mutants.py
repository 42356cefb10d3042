#!/usr/bin/python3
"""A small mutation run over the libraries, on demand (not part of CI).

Picks --count mutation sites by --seed among the library sources that this machine builds
(serial/, panel/, modbus/, common/, core/), applies them one at a time to a private copy
of the working tree (tracked and new files as they are now), rebuilds the unit test programs
incrementally and runs them. A mutant that does not compile is "not viable"; one that makes
a test program fail, crash or time out is "killed"; the others survived. Prints the score,
killed / viable, and the survivors.

    python3 scripts/mutants.py --count 20 --budget 20 [--seed 1] [--keep]

Every build and test step takes the shared build lock (/tmp/ostrel-build.lock) and is bounded
in time; the run stops picking new mutants once the budget is spent.
"""
import argparse
import ctypes
import fcntl
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LOCK = "/tmp/ostrel-build.lock"
LIBRARY_DIRS = ("serial/", "panel/", "modbus/", "common/", "core/")
# The fast suites: the libraries' unit tests and the serial ones (fake device, pseudo-terminals).
TEST_TARGETS = {
    "common_tests": "tests/common/common_tests",
    "serial_tests": "tests/serial/serial_tests",
    "serial_pty_tests": "tests/serial/serial_pty_tests",
    "serial_device_tests": "tests/serial_device/serial_device_tests",
    "panel_tests": "tests/panel/panel_tests",
    "modbus_tests": "tests/modbus/modbus_tests",
    "core_tests": "tests/core/core_tests",
}

# Operators are matched with a space on both sides, as the code is formatted: that leaves out
# template brackets, shifts, arrows, references and unary signs.
SWAPS = [
    ("relational", " <= ", " < "), ("relational", " < ", " <= "),
    ("relational", " >= ", " > "), ("relational", " > ", " >= "),
    ("relational", " == ", " != "), ("relational", " != ", " == "),
    ("arithmetic", " + ", " - "), ("arithmetic", " - ", " + "),
    ("boolean", " && ", " || "), ("boolean", " || ", " && "),
]
NUMBER = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
# "Type name;" or "Type name = value;": a declaration, whose deletion rarely compiles.
DECLARATION = re.compile(r"((const|static|constexpr|auto)\s+)*[\w:<>,*&]+\s+[*&]?\w+\s*(=.*)?;$")
STRING_OR_CHAR = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def code_part(line):
    """The line with string and character literals blanked and any // comment cut off, same length."""
    blanked = STRING_OR_CHAR.sub(lambda m: '"' + " " * (len(m.group()) - 2) + '"', line)
    cut = blanked.find("//")
    return blanked if cut < 0 else blanked[:cut] + " " * (len(blanked) - cut)


def find_sites(path, rel):
    """Every mutation of the file as (rel, line number, column, kind, old text, new text)."""
    sites = []
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    in_block = False
    previous = ";"  # the last code line's last character
    for no, line in enumerate(lines, 1):
        stripped = line.strip()
        if in_block:
            in_block = "*/" not in stripped
            continue
        if stripped.startswith("/*"):
            in_block = "*/" not in stripped
            continue
        if not stripped or stripped.startswith("#") or stripped.startswith("//"):
            continue
        code = code_part(line)
        has_string = '"' in code
        for kind, old, new in SWAPS:
            if kind == "arithmetic" and has_string:
                continue  # mostly text joined with +, which has no - to turn into
            start = 0
            while (col := code.find(old, start)) >= 0:
                sites.append((rel, no, col, kind, old, new))
                start = col + 1
        for m in NUMBER.finditer(code):
            value = int(m.group(1))
            new = {0: "1", 1: "0"}.get(value, str(value + 1))
            sites.append((rel, no, m.start(1), "constant", m.group(1), new))
        # A whole statement on one line, after a complete one, becomes an empty statement.
        body = code.strip()
        if (body.endswith(";") and previous in ";{}):" and body.count("(") == body.count(")")
                and not re.match(r"(return|case|default|using|namespace|struct|class|enum|template)\b", body)
                and not DECLARATION.fullmatch(body)
                and not body.startswith(("}", "{", ")", "."))):
            indent = len(line) - len(line.lstrip())
            sites.append((rel, no, indent, "deleted", line[indent:], ";"))
        if body:
            previous = body[-1]
    return sites


def apply(text, site):
    _, no, col, _, old, new = site
    lines = text.split("\n")
    line = lines[no - 1]
    assert line[col:col + len(old)] == old, site
    lines[no - 1] = line[:col] + new + line[col + len(old):]
    return "\n".join(lines)


DEADLINE = float("inf")  # monotonic time at which the budget is spent
TIMED_OUT = 124  # from timeout(1)


def left():
    return DEADLINE - time.monotonic()


def kill_leftovers():
    """Kills what a step left behind: processes that escaped its process group (a test's
    forked helper in a session of its own) come back to this process, as their subreaper."""
    me = str(os.getpid())
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                ppid = f.read().rsplit(")", 1)[1].split()[1]
        except OSError:
            continue
        if ppid == me:
            try:
                os.kill(int(entry), signal.SIGKILL)
                os.waitpid(int(entry), 0)
            except (OSError, ChildProcessError):
                pass


def run(cmd, log, timeout):
    """Runs cmd holding the build lock, for at most `timeout` seconds once it holds it; output
    goes to the file `log`. Returns the exit code (TIMED_OUT when it took too long). Raises
    TimeoutError when the budget is spent waiting for the lock."""
    lock = os.open(LOCK, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)  # not inherited by cmd
    try:
        while True:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except BlockingIOError:
                if left() < 1:
                    raise TimeoutError("budget spent waiting for the build lock")
                time.sleep(0.5)
        limit = max(int(min(timeout, left())), 1)
        with open(log, "w") as out:
            p = subprocess.Popen(["timeout", "-k", "5", str(limit)] + cmd, stdout=out, stderr=subprocess.STDOUT,
                                 stdin=subprocess.DEVNULL, cwd=os.path.dirname(log), start_new_session=True)
            try:
                return p.wait(timeout=limit + 15)
            except subprocess.TimeoutExpired:
                return TIMED_OUT
            finally:  # also when stopped meanwhile
                if p.poll() is None:
                    os.killpg(p.pid, signal.SIGKILL)
                    p.wait()
                kill_leftovers()
    finally:
        os.close(lock)  # releases the lock


def copy_tree(dest):
    files = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=ROOT,
                           check=True, capture_output=True).stdout.decode().split("\0")
    for rel in filter(None, files):
        src = os.path.join(ROOT, rel)
        if not os.path.isfile(src):
            continue  # deleted in the working tree
        os.makedirs(os.path.dirname(os.path.join(dest, rel)), exist_ok=True)
        shutil.copy2(src, os.path.join(dest, rel))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--count", type=int, default=20, help="mutants to try (default 20)")
    ap.add_argument("--budget", type=float, default=20, help="minutes for the whole run (default 20)")
    ap.add_argument("--seed", type=int, default=1, help="picks the sites (default 1)")
    ap.add_argument("--test-timeout", type=int, default=30, help="seconds per test program (default 30)")
    ap.add_argument("--keep", action="store_true", help="keep the private copy and print where it is")
    ap.add_argument("--list", action="store_true", help="only list the picked mutants")
    args = ap.parse_args()
    global DEADLINE
    DEADLINE = time.monotonic() + args.budget * 60
    # Helpers that a test forks into a session of their own come back here when it ends, so
    # kill_leftovers finds them; a stop by SIGTERM still removes the private copy.
    ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))

    work = tempfile.mkdtemp(prefix="ostrel-mutants-")
    try:
        src, build = os.path.join(work, "src"), os.path.join(work, "build")
        copy_tree(src)
        print(f"private copy in {work}; configuring", flush=True)
        log = os.path.join(work, "step.log")
        tail = lambda: open(log, errors="replace").read()[-3000:]
        if run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DOSTREL_GUI=OFF", "-DOSTREL_BENCH=OFF",
                "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON"], log, left()) != 0:
            sys.exit("configure failed:\n" + tail())
        # The library sources this machine builds: those with a compile command.
        with open(os.path.join(build, "compile_commands.json")) as f:
            compiled = sorted({os.path.relpath(e["file"], src) for e in json.load(f)})
        sources = [r for r in compiled if r.startswith(LIBRARY_DIRS) and r.endswith(".cpp")]
        sites = [s for r in sources for s in find_sites(os.path.join(src, r), r)]
        picked = random.Random(args.seed).sample(sites, min(args.count, len(sites)))
        print(f"{len(sites)} sites in {len(sources)} files; seed {args.seed} picks {len(picked)}", flush=True)
        if args.list:
            for s in picked:
                print(f"  {s[0]}:{s[1]}  {s[3]}: {s[4].strip()!r} -> {s[5].strip()!r}")
            return

        targets = list(TEST_TARGETS)
        print("building the unmutated tree", flush=True)
        if run(["ninja", "-C", build] + targets, log, left()) != 0:
            sys.exit("the unmutated tree does not build:\n" + tail())

        def tests_fail():
            for name, exe in TEST_TARGETS.items():
                code = run([os.path.join(build, exe), "--gtest_fail_fast", "--gtest_brief=1"], log, args.test_timeout)
                if code == TIMED_OUT and left() < 1:
                    raise TimeoutError
                if code != 0:
                    return f"{name} {'timed out' if code == TIMED_OUT else f'exit {code}'}"
            return None

        failing = tests_fail()
        if failing:
            sys.exit(f"the unmutated tree fails its tests ({failing}): no score")

        killed, viable, survivors, not_run = 0, 0, [], 0
        for i, site in enumerate(picked, 1):
            rel, no, _, kind, old, new = site
            label = f"{rel}:{no}  {kind}: {old.strip()!r} -> {new.strip()!r}"
            path = os.path.join(src, rel)
            with open(path, encoding="utf-8") as f:
                original = f.read()
            with open(path, "w", encoding="utf-8") as f:
                f.write(apply(original, site))
            try:
                if left() < 30:
                    raise TimeoutError
                code = run(["ninja", "-C", build] + targets, log, left())
                if code == TIMED_OUT:
                    raise TimeoutError
                if code != 0:
                    print(f"[{i}/{len(picked)}] not viable  {label}", flush=True)
                    continue
                failing = tests_fail()
                viable += 1
                if failing:
                    killed += 1
                    print(f"[{i}/{len(picked)}] killed ({failing})  {label}", flush=True)
                else:
                    survivors.append(label)
                    print(f"[{i}/{len(picked)}] SURVIVED  {label}", flush=True)
            except TimeoutError:
                not_run = len(picked) - i + 1
                print(f"budget spent: {not_run} mutants not run", flush=True)
                break
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)

        print(f"\nscore: {killed} killed / {viable} viable" + (f" ({not_run} not run)" if not_run else ""))
        for s in survivors:
            print(f"  survivor: {s}")
    except TimeoutError:
        sys.exit("budget spent before the first mutant")
    finally:
        if args.keep:
            print(f"kept {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
