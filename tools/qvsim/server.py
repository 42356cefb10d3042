"""Serves the panel protocol on one file descriptor: reads requests, answers
them from the Panel, applies the line-level faults (garbage before a frame,
replies split over several writes, pacing at a given baud rate)."""
import os
import select
import sys
import time

from qvsim import protocol as p


def bits_per_byte(frame: str) -> int:
    """Bits one byte takes on the line for a frame such as "8E2": start bit,
    data bits, a parity bit unless N, stop bits."""
    frame = frame.upper()
    data, parity, stop = int(frame[0]), frame[1], int(frame[2:] or 1)
    return 1 + data + (0 if parity == "N" else 1) + stop


class Server:
    def __init__(self, fd: int, panel, baud: int = 0, frame: str = "8E2", split: int = 1,
                 split_gap: float = 0.002, garbage: bytes = b"", delay: float = 0.0,
                 verbose: bool = False):
        self.fd = fd
        self.panel = panel
        self.byte_time = bits_per_byte(frame) / baud if baud else 0.0
        self.split = max(1, split)
        self.split_gap = split_gap
        self.garbage = garbage
        self.delay = delay
        self.verbose = verbose
        self.reader = p.LineReader()
        self.first_byte_at = None
        self.requests = 0

    def log(self, text: str):
        if self.verbose:
            print(f"qvsim: {text}", file=sys.stderr, flush=True)

    def write_all(self, data: bytes):
        while data:
            try:
                n = os.write(self.fd, data)
            except BlockingIOError:
                select.select([], [self.fd], [], 0.05)
                continue
            data = data[n:]

    def write_paced(self, data: bytes):
        """Writes as a line at the configured baud rate would deliver."""
        start = time.monotonic()
        sent = 0
        while sent < len(data):
            # A byte is delivered once its last stop bit has gone over the line.
            due = min(len(data), int((time.monotonic() - start) / self.byte_time))
            if due > sent:
                self.write_all(data[sent:due])
                sent = due
            if sent < len(data):
                time.sleep(max(0.0, start + (sent + 1) * self.byte_time - time.monotonic()))

    def answer(self, line: bytes):
        frame = p.decode_line(line)
        req = p.parse_request(frame) if frame else None
        if req is None:
            self.log(f"ignored malformed request {line!r}")
            return
        self.requests += 1
        code, payload = req
        reply = self.panel.reply(code, payload)
        self.log(f"request {self.panel.name_of(code, payload)} -> "
                 f"{reply.hex(' ').upper() if reply else 'silence'}")
        if reply is None:
            return
        out = self.garbage + p.encode_line(reply)
        if self.byte_time:
            # The request itself took its wire time to arrive.
            arrived = (self.first_byte_at or time.monotonic()) + len(line) * self.byte_time
            time.sleep(max(0.0, arrived - time.monotonic()))
        if self.delay:
            time.sleep(self.delay)
        parts = min(self.split, len(out))
        for i in range(parts):
            chunk = out[len(out) * i // parts: len(out) * (i + 1) // parts]
            if self.byte_time:
                self.write_paced(chunk)
            else:
                self.write_all(chunk)
            if i + 1 < parts:
                time.sleep(self.split_gap)

    def serve(self, stop):
        """Blocking loop until `stop` (a threading.Event) is set."""
        while not stop.is_set():
            try:
                ready, _, _ = select.select([self.fd], [], [], 0.1)
            except InterruptedError:
                continue
            if not ready:
                continue
            try:
                data = os.read(self.fd, 4096)
            except BlockingIOError:
                continue
            except OSError:
                # No one holds the other side (EIO): wait for a client.
                time.sleep(0.05)
                continue
            if not data:
                time.sleep(0.05)
                continue
            if self.first_byte_at is None or not self.reader.buf:
                self.first_byte_at = time.monotonic()
            for line in self.reader.feed(data):
                self.answer(line)
                self.first_byte_at = None
