#!/usr/bin/python3
"""A Modbus RTU slave on a serial device, built on Debian's python3-pymodbus.

With --tcp HOST:PORT it serves Modbus TCP on that address instead (no --port).

It serves input registers 0 .. N-1 and the holding registers the utility writes
(1, the clock registers 2..5 and 0x8011..0x8013), and with --holding FIRST:COUNT a
block of further holding registers, all 0 at the start. Reads outside those ranges
get exception 2 (illegal data address). It prints READY once the device is open.

Every write to the holding registers, and every SIGUSR1, dumps them as JSON
({"1": 12561, ...}, decimal register numbers) to the --dump file, replaced atomically.

Input register i holds ((i & 0xFF) << 8) | ((3 * i + 1) & 0xFF) unless --inputs gives
a JSON list of values. With --inputs-file, every SIGUSR2 loads the input registers from
that file's JSON list (from register 0), as a panel's state changes, and prints "INPUTS n".

pymodbus' datastore shifts every address by one unless the slave context is created
with zero_mode=True; pseudo-terminals hold no parity, so the device opens with none.
"""
import argparse
import asyncio
import json
import logging
import os
import signal
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext, ModbusSparseDataBlock)
from pymodbus.server.async_io import ModbusSerialServer, ModbusTcpServer
from pymodbus.transaction import ModbusRtuFramer, ModbusSocketFramer

HOLDING = [1, 2, 3, 4, 5, 0x8011, 0x8012, 0x8013]


def input_value(i):
    return ((i & 0xFF) << 8) | ((3 * i + 1) & 0xFF)


class RecordingBlock(ModbusSparseDataBlock):
    """Holding registers that dump themselves after every write."""

    def __init__(self, values, dump_path):
        super().__init__(values)
        self.dump_path = dump_path

    def setValues(self, address, values, use_as_default=False):  # noqa: N802 (pymodbus API)
        super().setValues(address, values, use_as_default)
        self.dump()

    def dump(self):
        if not self.dump_path:
            return
        data = {str(k): v for k, v in sorted(self.values.items())}
        tmp = self.dump_path + ".tmp"
        with open(tmp, "w", encoding="ascii") as f:
            json.dump(data, f)
        os.replace(tmp, self.dump_path)
        print("holding " + json.dumps(data), file=sys.stderr, flush=True)


async def serve(args):
    if args.inputs:
        inputs = json.loads(args.inputs)
    else:
        inputs = [input_value(i) for i in range(args.input_count)]
    addresses = set(HOLDING)
    if args.holding:
        first, count = (int(v, 0) for v in args.holding.split(":"))
        addresses.update(range(first, first + count))
    holding = RecordingBlock({a: 0 for a in sorted(addresses)}, args.dump)
    slave = ModbusSlaveContext(ir=ModbusSequentialDataBlock(0, inputs), hr=holding,
                               zero_mode=True)
    context = ModbusServerContext(slaves=slave, single=True)
    if args.tcp:
        host, port = args.tcp.rsplit(":", 1)
        server = ModbusTcpServer(context, ModbusSocketFramer, address=(host, int(port)),
                                 allow_reuse_address=True)
        asyncio.ensure_future(server.serve_forever())
        await server.serving
    else:
        server = ModbusSerialServer(context, ModbusRtuFramer, port=args.port,
                                    baudrate=args.baud, parity="N", bytesize=8, stopbits=1,
                                    timeout=0.005)
        await server.start()
        if server.transport is None:
            print("cannot open " + args.port, file=sys.stderr, flush=True)
            sys.exit(1)
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGUSR1, holding.dump)

    def load_inputs():
        with open(args.inputs_file, encoding="ascii") as f:
            values = json.load(f)
        slave.setValues(4, 0, values)
        print("INPUTS %d" % len(values), file=sys.stderr, flush=True)

    if args.inputs_file:
        loop.add_signal_handler(signal.SIGUSR2, load_inputs)
    stop = asyncio.Event()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)
    holding.dump()
    print("READY", flush=True)
    await stop.wait()
    await server.shutdown()


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--port", help="serial device path (a pty is fine)")
    p.add_argument("--tcp", metavar="HOST:PORT", help="serve Modbus TCP here instead")
    p.add_argument("--baud", type=int, default=9600)
    p.add_argument("--input-count", type=int, default=200,
                   help="input registers 0..N-1 exist; others give exception 2")
    p.add_argument("--inputs", help="JSON list of input register values, from register 0")
    p.add_argument("--inputs-file", help="JSON list of input register values, loaded on SIGUSR2")
    p.add_argument("--holding", metavar="FIRST:COUNT",
                   help="further holding registers FIRST..FIRST+COUNT-1, e.g. 100:100")
    p.add_argument("--dump", help="JSON file that receives the holding registers")
    p.add_argument("--verbose", action="store_true", help="log every frame to stderr")
    args = p.parse_args()
    if args.verbose:
        logging.basicConfig(level=logging.DEBUG, stream=sys.stderr)
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
