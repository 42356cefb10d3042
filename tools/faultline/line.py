"""The fault-injecting line: one pseudo-terminal offered to Ostrel (its slave
linked as a COMn name in a device-map folder), the peer's device on the other
side, bytes forwarded both ways with faults made from a seeded generator.

Every decision is drawn from random.Random streams seeded from --seed, one
stream per direction for byte decisions (drop, noise, flip, dup, in that order
for each byte) and one per direction for chunk decisions (hangup, stall, delay,
split, in that order for each chunk read). So the byte faults depend only on
the seed and the byte stream, and the chunk faults on how the bytes arrived in
chunks as well; the log names each fault with its byte offset so a run can be
compared with its replay."""
import argparse
import collections
import json
import os
import random
import select
import signal
import sys
import time
import tty

TO_PEER = "to-peer"      # what Ostrel wrote, on its way to the peer
TO_OSTREL = "to-ostrel"  # what the peer answered, on its way to Ostrel
DIRECTIONS = (TO_PEER, TO_OSTREL)
FAULT_KINDS = ("drop", "dup", "flip", "noise", "split", "delay", "stall", "hangup")


def rate_pair(text: str):
    """"R" for both directions, or "R_TO_PEER,R_TO_OSTREL"."""
    parts = [float(x) for x in text.split(",")]
    if len(parts) == 1:
        parts *= 2
    if len(parts) != 2 or not all(0.0 <= p <= 1.0 for p in parts):
        raise argparse.ArgumentTypeError(f"a rate 0..1, or two separated by a comma (got {text!r})")
    return dict(zip(DIRECTIONS, parts))


def ms_pair(text: str):
    parts = [float(x) for x in text.split(",")]
    if len(parts) == 1:
        parts *= 2
    if len(parts) != 2 or not all(p >= 0.0 for p in parts):
        raise argparse.ArgumentTypeError(f"milliseconds, or two separated by a comma (got {text!r})")
    return dict(zip(DIRECTIONS, parts))


def parse_args(argv):
    ap = argparse.ArgumentParser(prog="faultline", description=(
        "A serial line that lies: offers a pseudo-terminal to Ostrel, forwards its bytes to and from "
        "a peer's device and injects faults from a seed. Rates are per byte (drop, dup, flip, noise) "
        "or per chunk read (split, stall, hangup); RATE is one value for both directions or "
        "TO_PEER,TO_OSTREL."))
    ap.add_argument("--peer", required=True, help="the peer's device (e.g. the simulated panel's pty)")
    ap.add_argument("--link-dir", help="make DIR/NAME a link to the offered pty")
    ap.add_argument("--name", default="COM1", help="link name in --link-dir (default COM1)")
    ap.add_argument("--seed", type=int, default=0)
    ap.add_argument("--log", help="write one JSON line per fault to this file")
    ap.add_argument("--drop", type=rate_pair, default=rate_pair("0"), metavar="RATE", help="lose a byte")
    ap.add_argument("--dup", type=rate_pair, default=rate_pair("0"), metavar="RATE", help="send a byte twice")
    ap.add_argument("--flip", type=rate_pair, default=rate_pair("0"), metavar="RATE", help="flip one bit of a byte")
    ap.add_argument("--noise", type=rate_pair, default=rate_pair("0"), metavar="RATE",
                    help="insert 1..3 random bytes before a byte")
    ap.add_argument("--split", type=rate_pair, default=rate_pair("0"), metavar="RATE",
                    help="send a chunk in 2..4 pieces, 1..20 ms apart")
    ap.add_argument("--delay", type=ms_pair, default=ms_pair("0"), metavar="MS",
                    help="hold each chunk up to MS longer (uniformly drawn)")
    ap.add_argument("--stall", type=rate_pair, default=rate_pair("0"), metavar="RATE",
                    help="hold everything in the direction for --stall-ms")
    ap.add_argument("--stall-ms", type=float, default=1500.0)
    ap.add_argument("--hangup", type=float, default=0.0, metavar="RATE",
                    help="per chunk Ostrel writes: the offered pty goes away (the chunk is lost, the link "
                         "removed) and comes back as a new pty after --hangup-ms")
    ap.add_argument("--hangup-ms", type=float, default=500.0)
    args = ap.parse_args(argv)
    if args.hangup and not args.link_dir:
        ap.error("--hangup needs --link-dir (the link is what comes back)")
    if not 0.0 <= args.hangup <= 1.0:
        ap.error("--hangup takes a rate 0..1")
    return args


class Log:
    """Fault records as JSON lines, and their count by kind."""

    def __init__(self, path):
        self.file = open(path, "w", encoding="utf-8", buffering=1) if path else None
        self.t0 = time.monotonic()
        self.counts = collections.Counter()

    def write(self, direction, kind, offset, **details):
        if kind in FAULT_KINDS:
            self.counts[kind] += 1
        if self.file:
            record = {"t": round(time.monotonic() - self.t0, 4), "dir": direction, "kind": kind, "offset": offset}
            record.update(details)
            self.file.write(json.dumps(record) + "\n")

    def close(self):
        if self.file:
            self.file.close()


class Direction:
    """One way through the line: turns each chunk read into pieces due at set times."""

    def __init__(self, name, args, log):
        self.name = name
        self.log = log
        self.byte_rng = random.Random(f"{args.seed}:{name}:byte")
        self.chunk_rng = random.Random(f"{args.seed}:{name}:chunk")
        self.drop, self.dup, self.flip, self.noise = (getattr(args, k)[name] for k in ("drop", "dup", "flip", "noise"))
        self.split, self.stall = args.split[name], args.stall[name]
        self.delay_ms, self.stall_ms = args.delay[name], args.stall_ms
        self.hangup = args.hangup if name == TO_PEER else 0.0
        self.offset = 0              # bytes read so far in this direction
        self.queue = collections.deque()  # [due, bytes], in order
        self.held_until = 0.0
        self.last_due = 0.0

    def spoil(self, data: bytes) -> bytes:
        r, out = self.byte_rng, bytearray()
        for i, b in enumerate(data):
            at = self.offset + i
            if self.noise and r.random() < self.noise:
                junk = bytes(r.randrange(256) for _ in range(r.randint(1, 3)))
                out += junk
                self.log.write(self.name, "noise", at, bytes=junk.hex())
            if self.drop and r.random() < self.drop:
                self.log.write(self.name, "drop", at, byte=f"{b:02x}")
                continue
            if self.flip and r.random() < self.flip:
                bit = r.randrange(8)
                self.log.write(self.name, "flip", at, byte=f"{b:02x}", to=f"{b ^ (1 << bit):02x}", bit=bit)
                b ^= 1 << bit
            out.append(b)
            if self.dup and self.byte_rng.random() < self.dup:
                out.append(b)
                self.log.write(self.name, "dup", at, byte=f"{b:02x}")
        return bytes(out)

    def feed(self, data: bytes, now: float) -> bool:
        """Schedules a chunk read; False when the chunk made the offered pty hang up."""
        r, at = self.chunk_rng, self.offset
        if self.hangup and r.random() < self.hangup:
            self.log.write(self.name, "hangup", at, lost=len(data))
            self.offset += len(data)
            return False
        if self.stall and r.random() < self.stall:
            self.held_until = max(self.held_until, now + self.stall_ms / 1000.0)
            self.log.write(self.name, "stall", at, ms=self.stall_ms)
        delay = r.uniform(0.0, self.delay_ms) if self.delay_ms else 0.0
        pieces = [self.spoil(data)]
        self.offset += len(data)
        out = pieces[0]
        if self.split and r.random() < self.split and len(out) > 1:
            n = r.randint(2, min(4, len(out)))
            cuts = sorted(r.sample(range(1, len(out)), n - 1))
            pieces = [out[a:b] for a, b in zip([0] + cuts, cuts + [len(out)])]
            gaps = [r.uniform(1.0, 20.0) for _ in cuts]
            self.log.write(self.name, "split", at, sizes=[len(p) for p in pieces], gaps_ms=[round(g, 1) for g in gaps])
        else:
            gaps = []
        if delay:
            self.log.write(self.name, "delay", at, ms=round(delay, 1))
        due = max(now + delay / 1000.0, self.last_due)
        for i, piece in enumerate(pieces):
            if piece:
                self.queue.append([due, piece])
            if i < len(gaps):
                due += gaps[i] / 1000.0
        self.last_due = due
        return True

    def next_due(self):
        return max(self.queue[0][0], self.held_until) if self.queue else None

    def flush(self, fd, now):
        """Writes what is due; the rest waits (also a piece the device will not take yet)."""
        while self.queue and fd is not None and now >= self.queue[0][0] and now >= self.held_until:
            piece = self.queue[0][1]
            try:
                n = os.write(fd, piece)
            except (BlockingIOError, InterruptedError):
                return
            except OSError:
                # The device is gone (the peer ended): what was on its way is lost.
                self.queue.clear()
                return
            if n < len(piece):
                self.queue[0][1] = piece[n:]
                return
            self.queue.popleft()


class Offered:
    """The pty Ostrel opens: master and slave both held here, so Ostrel sees its
    port held by the controlling side only, and the master never reads EIO
    while Ostrel has it closed."""

    def __init__(self, link_dir, name):
        self.link_dir, self.name = link_dir, name
        self.master = self.slave = None
        self.path = None

    def open(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        os.set_blocking(self.master, False)
        self.path = os.ttyname(self.slave)
        if self.link_dir:
            os.makedirs(self.link_dir, exist_ok=True)
            link = os.path.join(self.link_dir, self.name)
            tmp = link + ".faultline"
            if os.path.lexists(tmp):
                os.unlink(tmp)
            os.symlink(self.path, tmp)
            os.replace(tmp, link)

    def close(self):
        if self.link_dir:
            try:
                os.unlink(os.path.join(self.link_dir, self.name))
            except FileNotFoundError:
                pass
        for fd in (self.master, self.slave):
            if fd is not None:
                os.close(fd)
        self.master = self.slave = None


def open_peer(path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        tty.setraw(fd)
    except Exception:
        pass  # not a terminal (a FIFO, a socket): forwarded as it is
    return fd


def main(argv=None) -> int:
    args = parse_args(sys.argv[1:] if argv is None else argv)
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))
    log = Log(args.log)
    log.write(None, "start", 0, seed=args.seed, argv=sys.argv[1:] if argv is None else argv)
    ways = {d: Direction(d, args, log) for d in DIRECTIONS}
    peer = open_peer(args.peer)
    offered = Offered(args.link_dir, args.name)
    offered.open()
    print(offered.path, flush=True)
    back_at = None  # while hung up: when the pty comes back
    lost_while_down = 0

    while not stop:
        now = time.monotonic()
        if back_at is not None and now >= back_at:
            offered.open()
            log.write(TO_OSTREL, "back", ways[TO_OSTREL].offset, pty=offered.path, lost=lost_while_down)
            back_at, lost_while_down = None, 0
        ways[TO_PEER].flush(peer, now)
        ways[TO_OSTREL].flush(offered.master, now)
        dues = [d for d in (w.next_due() for w in ways.values()) if d is not None]
        if back_at is not None:
            dues.append(back_at)
        timeout = 0.1 if not dues else min(0.1, max(0.001, min(dues) - now))
        readers = [peer] + ([offered.master] if offered.master is not None else [])
        try:
            ready, _, _ = select.select(readers, [], [], timeout)
        except InterruptedError:
            continue
        now = time.monotonic()
        if peer in ready:
            try:
                data = os.read(peer, 4096)
            except (BlockingIOError, InterruptedError):
                data = None
            except OSError:
                data = b""
            if data == b"":
                time.sleep(0.05)  # no one holds the peer's other side now
            elif data and offered.master is None:
                lost_while_down += len(data)
                ways[TO_OSTREL].offset += len(data)
            elif data:
                ways[TO_OSTREL].feed(data, now)
        if offered.master is not None and offered.master in ready:
            try:
                data = os.read(offered.master, 4096)
            except (BlockingIOError, InterruptedError, OSError):
                data = None
            if data and not ways[TO_PEER].feed(data, now):
                offered.close()
                ways[TO_OSTREL].queue.clear()  # what was on its way to Ostrel goes with the pty
                back_at = now + args.hangup_ms / 1000.0

    offered.close()
    os.close(peer)
    summary = {k: log.counts.get(k, 0) for k in FAULT_KINDS}
    summary["bytes"] = {d: ways[d].offset for d in DIRECTIONS}
    log.write(None, "summary", 0, **summary)
    log.close()
    print("faultline: " + ", ".join(f"{k} {log.counts.get(k, 0)}" for k in FAULT_KINDS)
          + f"; bytes to the peer {ways[TO_PEER].offset}, to Ostrel {ways[TO_OSTREL].offset}",
          file=sys.stderr, flush=True)
    return 0
