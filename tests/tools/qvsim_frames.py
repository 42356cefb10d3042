"""What the simulated panel (tools/qvsim) makes of the frames and bytes on stdin, one
answer line per input line, for the test that holds them against the C++ codecs.

Input lines: an operation and its arguments, bytes in hexadecimal ("-": none).
  checksum BYTES          the panel checksum, 4 hex digits
  request LINE            a panel request as it travels: "CODE PAYLOAD" as parsed, or "none"
  panel FAULT LINE        the default panel's reply line to the request (FAULT: a fault
                          kind applied to every request, or "none"), or "silent"
  crc BYTES               the Modbus CRC, 4 hex digits (high byte first)
  modbus FRAME            the Modbus slave's reply to the request frame, or "none"
"""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.environ["OSTREL_SOURCE_DIR"], "tools"))
from qvsim import modbus, protocol  # noqa: E402
from qvsim.panel import Panel  # noqa: E402

DEFAULT = os.path.join(os.environ["OSTREL_SOURCE_DIR"], "tools", "qvsim", "default.json")


def data(arg):
    return b"" if arg == "-" else bytes.fromhex(arg)


def panel_reply(fault, line):
    frame = protocol.decode_line(data(line))
    parsed = frame and protocol.parse_request(frame)
    if not parsed:
        return "none"
    with open(DEFAULT, encoding="utf-8") as f:
        config = json.load(f)
    if fault != "none":
        config["faults"] = {fault: ["all"]}
    reply = Panel(config).reply(*parsed)
    return "silent" if reply is None else protocol.encode_line(reply).hex().upper()


def answer(op, args):
    if op == "checksum":
        return f"{protocol.checksum(data(args[0])):04X}"
    if op == "request":
        frame = protocol.decode_line(data(args[0]))
        parsed = frame and protocol.parse_request(frame)
        return f"{parsed[0]:02X} {parsed[1].hex().upper() or '-'}" if parsed else "none"
    if op == "panel":
        return panel_reply(args[0], args[1])
    if op == "crc":
        return f"{modbus.crc16(data(args[0])):04X}"
    if op == "modbus":
        slave = modbus.ModbusSlave({"log": lambda text: None})
        return slave.handle(data(args[0])).hex().upper() or "none"
    return f"unknown operation {op}"


for line in sys.stdin:
    words = line.split()
    try:
        print(answer(words[0], words[1:]), flush=True)
    except (IndexError, ValueError) as e:
        print(f"error {e!r}", flush=True)
