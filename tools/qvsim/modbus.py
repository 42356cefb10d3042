#!/usr/bin/env python3
"""The simulated panel's Modbus RTU slave side (standard library only).

run_modbus_slave(fd, config, stop) serves Modbus RTU on a file descriptor (the master
side of a raw pseudo-terminal): functions 3 and 4 (read holding / input registers),
6 (write single register) and 16 (write multiple registers). Reads or writes outside
the existing registers get exception 2, an unknown function exception 1. A frame ends
when its length is complete, or by the 3.5-character silence (incomplete bytes are
then dropped). Requests with a bad CRC or for another slave address get no answer.

The input registers show every colour of the utility's register table:
  registers 0..1750 (read from 1, count 125, the default read): cycles through
    ON/Alarm, /AO, /No Link, /Disable, /Fault, ON and empty status bytes;
  registers 1751..2100: /Fire1, /Fire2 and /Fire1/Fire2 as well;
  registers 2101..2107: the loop words, and 2108 on: plain values.
The holding registers 1 (command), 2..5 (clock) and 0x8011..0x8013 (address and line
codes) record what was written; every write is logged to stderr.

Run alone: `python3 tools/qvsim/modbus.py [--link PATH] [--slave N] [--baud B --frame 8E1]` opens a
pseudo-terminal, prints its device path and serves until Ctrl-C.
"""
import argparse
import errno
import os
import select
import sys
import threading
import time
import tty

INPUT_COUNT = 2300
HOLDING_REGISTERS = (1, 2, 3, 4, 5, 0x8011, 0x8012, 0x8013)

# Status byte patterns, one register's high and low byte each.
ZONE_PATTERN = [(0xC0, 0x00), (0x20, 0x80), (0x10, 0x03), (0x08, 0x04), (0x80, 0x44),
                (0x00, 0x00), (0x84, 0x18), (0xFC, 0x01)]
FIRE_PATTERN = [(0x40, 0x00), (0x20, 0x80), (0x60, 0x04), (0x00, 0x10), (0xC0, 0x08)]
LOOP_PATTERN = [(0x80, 0x40), (0x20, 0x04), (0x98, 0x00), (0x00, 0x00)]


def crc16(data):
    """The Modbus RTU CRC, as an integer (low byte goes first on the wire)."""
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def with_crc(body):
    crc = crc16(body)
    return bytes(body) + bytes([crc & 0xFF, crc >> 8])


def default_inputs(count=INPUT_COUNT):
    regs = []
    for n in range(count):
        if n <= 1750:
            hi, lo = ZONE_PATTERN[n % len(ZONE_PATTERN)]
        elif n <= 2100:
            hi, lo = FIRE_PATTERN[n % len(FIRE_PATTERN)]
        elif n <= 2107:
            hi, lo = LOOP_PATTERN[n % len(LOOP_PATTERN)]
        else:
            hi, lo = n >> 8 & 0xFF, n & 0xFF
        regs.append(hi << 8 | lo)
    return regs


def frame_length(buf):
    """The full length of the request that starts buf, or None while unknown."""
    if len(buf) < 2:
        return None
    function = buf[1]
    if function in (3, 4, 6):
        return 8
    if function == 16:
        return 9 + buf[6] if len(buf) >= 7 else None
    return None  # unknown function: its end is the silence


class ModbusSlave:
    """The request handling, apart from the I/O loop (also used by tests)."""

    def __init__(self, config):
        self.slave = int(config.get("slave", 1))
        inputs = config.get("inputs")
        self.inputs = list(inputs) if inputs is not None else default_inputs(
            int(config.get("input_count", INPUT_COUNT)))
        # Shared with the caller, so what was written can be looked at from outside.
        self.holding = config.setdefault("holding", {a: 0 for a in HOLDING_REGISTERS})
        self.log = config.get("log", lambda text: print(text, file=sys.stderr, flush=True))

    def handle(self, frame):
        """The reply to one complete frame, or b"" when none is due."""
        if len(frame) < 4 or crc16(frame[:-2]) != (frame[-2] | frame[-1] << 8):
            return b""
        address, function = frame[0], frame[1]
        if address not in (self.slave, 0):
            return b""
        reply = self._execute(function, frame[2:-2])
        if address == 0:  # broadcast: act, never answer
            return b""
        return with_crc(bytes([address]) + reply)

    def _exception(self, function, code):
        return bytes([function | 0x80, code])

    def _execute(self, function, data):
        if function in (3, 4) and len(data) == 4:
            start, count = data[0] << 8 | data[1], data[2] << 8 | data[3]
            if not 1 <= count <= 125:
                return self._exception(function, 3)
            values = []
            for reg in range(start, start + count):
                if function == 4:
                    if reg >= len(self.inputs):
                        return self._exception(function, 2)
                    values.append(self.inputs[reg])
                else:
                    if reg not in self.holding:
                        return self._exception(function, 2)
                    values.append(self.holding[reg])
            body = bytearray([function, 2 * count])
            for v in values:
                body += bytes([v >> 8 & 0xFF, v & 0xFF])
            return bytes(body)
        if function == 6 and len(data) == 4:
            reg, value = data[0] << 8 | data[1], data[2] << 8 | data[3]
            if reg not in self.holding:
                return self._exception(function, 2)
            self._write(reg, value)
            return bytes([function]) + data
        if function == 16 and len(data) >= 5:
            start, count, nbytes = data[0] << 8 | data[1], data[2] << 8 | data[3], data[4]
            if count < 1 or nbytes != 2 * count or len(data) != 5 + nbytes:
                return self._exception(function, 3)
            regs = range(start, start + count)
            if any(r not in self.holding for r in regs):
                return self._exception(function, 2)
            for i, reg in enumerate(regs):
                self._write(reg, data[5 + 2 * i] << 8 | data[6 + 2 * i])
            return bytes([function]) + data[:4]
        return self._exception(function, 1)

    def _write(self, reg, value):
        self.holding[reg] = value
        self.log(f"modbus: holding register {reg} (0x{reg:04X}) = 0x{value:04X}")


def silence_seconds(config):
    """3.5 characters of 11 bits at the configured rate, but at least 20 ms: the
    master writes its bytes 2 ms apart and a pseudo-terminal adds scheduling jitter."""
    baud = int(config.get("baud", 9600))
    return max(3.5 * 11 / baud, float(config.get("min_silence", 0.02)))


def byte_seconds(config):
    """Wire time of one byte when config["pace_baud"] asks for a paced line
    (config["pace_frame"] such as "8E1" gives its bits), else 0."""
    baud = int(config.get("pace_baud", 0))
    if not baud:
        return 0.0
    frame = str(config.get("pace_frame", "8E1")).upper()
    return (1 + int(frame[0]) + (0 if frame[1] == "N" else 1) + int(frame[2:] or 1)) / baud


def write_paced(fd, data, byte_time):
    """Writes each byte once a line at that rate would have delivered it."""
    start = time.monotonic()
    sent = 0
    while sent < len(data):
        due = min(len(data), int((time.monotonic() - start) / byte_time))
        if due > sent:
            os.write(fd, data[sent:due])
            sent = due
        if sent < len(data):
            time.sleep(max(0.0, start + (sent + 1) * byte_time - time.monotonic()))


def run_modbus_slave(fd: int, config: dict, stop: threading.Event) -> None:
    """Serves Modbus RTU on fd until stop is set. With config["pace_baud"] the
    request counts as arrived only after its wire time, and the reply goes out
    at that line's pace."""
    slave = ModbusSlave(config)
    silence = silence_seconds(config)
    byte_time = byte_seconds(config)
    buf = bytearray()
    last = time.monotonic()
    first_byte_at = last
    while not stop.is_set():
        try:
            ready, _, _ = select.select([fd], [], [], 0.01)
        except (OSError, ValueError):
            return
        now = time.monotonic()
        if ready:
            try:
                chunk = os.read(fd, 1024)
            except OSError as exc:
                if exc.errno != errno.EIO:
                    raise
                chunk = b""
            if not chunk:
                # No peer has the device open: wait instead of spinning on the hang-up.
                stop.wait(0.05)
                continue
            if not buf:
                first_byte_at = now
            buf += chunk
            last = now
        while buf:
            length = frame_length(buf)
            if length is not None and len(buf) >= length:
                frame, buf = bytes(buf[:length]), buf[length:]
            elif now - last >= silence:
                frame, buf = bytes(buf), bytearray()
            else:
                break
            reply = slave.handle(frame)
            if reply and byte_time:
                time.sleep(max(0.0, first_byte_at + len(frame) * byte_time - time.monotonic()))
                write_paced(fd, reply, byte_time)
            elif reply:
                os.write(fd, reply)
            first_byte_at = time.monotonic()


def main():
    p = argparse.ArgumentParser(description="Modbus RTU side of the simulated panel")
    p.add_argument("--slave", type=int, default=1, help="slave address (default 1)")
    p.add_argument("--link", help="also make this path a symbolic link to the device")
    p.add_argument("--baud", type=int, default=0, help="pace requests and replies as this baud rate would (0: instant)")
    p.add_argument("--frame", default="8E1", help="bits per character for pacing, e.g. 8E1, 8N1")
    args = p.parse_args()
    master, slave_fd = os.openpty()
    tty.setraw(slave_fd)
    path = os.ttyname(slave_fd)
    if args.link:
        if os.path.islink(args.link):
            os.unlink(args.link)
        os.symlink(path, args.link)
    print(path, flush=True)
    stop = threading.Event()
    try:
        run_modbus_slave(master, {"slave": args.slave, "pace_baud": args.baud, "pace_frame": args.frame}, stop)
    except KeyboardInterrupt:
        pass
    finally:
        if args.link and os.path.islink(args.link):
            os.unlink(args.link)


if __name__ == "__main__":
    main()
