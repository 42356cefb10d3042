"""Command line of the simulated panel."""
import argparse
import json
import os
import pty
import signal
import sys
import termios
import threading
import tty

from qvsim.panel import Panel
from qvsim.server import Server

HERE = os.path.dirname(os.path.abspath(__file__))
SPEEDS = {r: getattr(termios, f"B{r}") for r in
          (1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200) if hasattr(termios, f"B{r}")}


def new_pty():
    """(master fd, slave fd, slave path) of a fresh raw pseudo-terminal. The
    slave stays open here too, so the master never reads EIO between clients."""
    master, slave = os.openpty()
    tty.setraw(slave)
    return master, slave, os.ttyname(slave)


def open_device(path: str, baud: int, frame: str) -> int:
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    speed = SPEEDS.get(baud or 9600, termios.B9600)
    attrs[4] = attrs[5] = speed
    cflag = attrs[2] & ~(termios.CSIZE | termios.PARENB | termios.PARODD | termios.CSTOPB)
    cflag |= {5: termios.CS5, 6: termios.CS6, 7: termios.CS7}.get(int(frame[0]), termios.CS8)
    parity = frame[1].upper()
    if parity in "EO":
        cflag |= termios.PARENB | (termios.PARODD if parity == "O" else 0)
    if frame[2:] == "2":
        cflag |= termios.CSTOPB
    attrs[2] = cflag | termios.CREAD | termios.CLOCAL
    try:
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
    except termios.error:
        # A pseudo-terminal holds no parity: apply the rest.
        attrs[2] &= ~(termios.PARENB | termios.PARODD)
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
    return fd


def link(link_dir: str, name: str, target: str):
    os.makedirs(link_dir, exist_ok=True)
    path = os.path.join(link_dir, name)
    if os.path.lexists(path):
        os.unlink(path)
    os.symlink(target, path)


def parse_args(argv):
    ap = argparse.ArgumentParser(prog="qvsim", description="Simulated Quorvel panel on a pseudo-terminal.")
    ap.add_argument("--config", default=os.path.join(HERE, "default.json"),
                    help="JSON file describing the panel (default: default.json beside this program)")
    ap.add_argument("--device", help="serve on this serial device instead of a new pseudo-terminal")
    ap.add_argument("--link-dir", help="create DIR/COM1 (and with --modbus DIR/COM2) linking to the ptys")
    ap.add_argument("--modbus", action="store_true", help="also serve Modbus RTU on a second pty")
    ap.add_argument("--loops", type=int, help="loop count reported in the panel information")
    ap.add_argument("--devices", help="N0,N1: generate this many devices on each loop")
    ap.add_argument("--refuse", action="append", default=[], metavar="SEL",
                    help="answer with an error result; SEL: all, panel, loop[:N], device[:L[:A]]")
    ap.add_argument("--bad-checksum", action="append", default=[], metavar="SEL")
    ap.add_argument("--silent", action="append", default=[], metavar="SEL", help="never answer SEL")
    ap.add_argument("--short", action="append", default=[], metavar="SEL", help="cut the reply data short")
    ap.add_argument("--flip-bit", action="append", default=[], metavar="SEL",
                    help="flip one bit of the reply's last data byte, keeping the checksum's high byte right")
    ap.add_argument("--drop-once", action="append", default=[], metavar="SEL",
                    help="leave the first request of each SEL unanswered, answer it when asked again")
    ap.add_argument("--split", type=int, default=1, help="write each reply in this many parts")
    ap.add_argument("--split-gap-ms", type=float, default=2.0)
    ap.add_argument("--garbage", default="", help="bytes (text) written before every reply")
    ap.add_argument("--delay-ms", type=float, default=0.0, help="wait before each reply")
    ap.add_argument("--baud", type=int, default=0, help="pace replies as this baud rate would (0: instant)")
    ap.add_argument("--frame", default="8E2", help="bits per character for pacing, e.g. 8E2, 8N1")
    ap.add_argument("-v", "--verbose", action="store_true", help="log requests on stderr")
    return ap.parse_args(argv)


def load_config(args) -> dict:
    with open(args.config, encoding="utf-8") as f:
        config = json.load(f)
    config.setdefault("loops", [{}, {}])
    if args.devices:
        counts = [int(x) for x in args.devices.split(",")] + [0]
        config["loops"] = [dict(config["loops"][i] if i < len(config["loops"]) else {},
                                generate=counts[i]) for i in range(2)]
    if args.loops is not None:
        config.setdefault("panel", {})["loops"] = args.loops
    faults = config.setdefault("faults", {})
    for kind in ("refuse", "bad_checksum", "silent", "short", "flip_bit", "drop_once"):
        faults[kind] = list(faults.get(kind, [])) + getattr(args, kind)
    return config


def main(argv=None) -> int:
    args = parse_args(sys.argv[1:] if argv is None else argv)
    config = load_config(args)
    modbus = None
    if args.modbus:
        try:
            from qvsim import modbus  # the Modbus RTU side, a module of its own
        except ImportError as e:
            print(f"qvsim: --modbus needs qvsim/modbus.py ({e})", file=sys.stderr)
            return 2
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    if args.device:
        fd, path = open_device(args.device, args.baud, args.frame), args.device
    else:
        fd, _slave, path = new_pty()
    os.set_blocking(fd, False)
    print(path, flush=True)
    if args.link_dir:
        link(args.link_dir, "COM1", path)

    threads = []
    if modbus is not None:
        mfd, _mslave, mpath = new_pty()
        print(mpath, flush=True)
        if args.link_dir:
            link(args.link_dir, "COM2", mpath)
        t = threading.Thread(target=modbus.run_modbus_slave, args=(mfd, config.get("modbus", {}), stop),
                             daemon=True)
        t.start()
        threads.append(t)

    server = Server(fd, Panel(config), baud=args.baud, frame=args.frame, split=args.split,
                    split_gap=args.split_gap_ms / 1000.0, garbage=args.garbage.encode("latin-1"),
                    delay=args.delay_ms / 1000.0, verbose=args.verbose)
    server.serve(stop)
    for t in threads:
        t.join(timeout=1.0)
    return 0
