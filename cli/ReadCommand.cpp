// ostrel-cli read: function-4 read-outs with the register table's decode
// words, or function-3 read-outs of holding registers, as 16- or 32-bit
// values, once or every few seconds, as a table, CSV or JSON lines.
#include <algorithm>
#include <optional>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Exit.h"
#include "cli/ModbusExchange.h"
#include "cli/PortReopen.h"
#include "cli/ReadRecords.h"
#include "cli/Records.h"
#include "modbus/codes.h"
#include "modbus/complete.h"
#include "modbus/frames.h"
#include "modbus/reply.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli read --port PORT [--slave 1] [--function 4|3] [--start 1] [--count 125]\n"
    "                       [--type uint16|int16|hex|uint32|int32|float32] [--order ABCD|CDAB|BADC|DCBA]\n"
    "                       [--one-based] [--retries N]\n"
    "                       [--every SECONDS [--for DURATION] [--reconnect]] [--format table|csv|jsonl]\n"
    "                       [-o FILE [--append]] [--no-header] [--timeout MS]\n"
    "                       [--speed 19200] [--parity even] [--stop 1]\n"
    "\n"
    "Reads input registers (function 4) from the panel's Modbus interface and shows\n"
    "each register's bytes with the decode words of the window's register table, and\n"
    "its value. Function 3 reads holding registers (what 'write' sets); they have no\n"
    "decode words. With --every, reads again every SECONDS (for DURATION, or until\n"
    "Ctrl+C) and writes one record per read-out with an ISO 8601 time stamp; a failed\n"
    "read-out is a record with its error, and polling goes on.\n"
    "\n"
    "  -p, --port PORT   COM1 .. COM256 (on Linux through the device map) or a device path\n"
    "                    or a network port: rfc2217://HOST:PORT, tcp://HOST:PORT, or a\n"
    "                    Modbus TCP server modbus-tcp://HOST[:502] (unit id = --slave)\n"
    "  --slave N         slave address, 1 .. 247 (default 1)\n"
    "  --function F      4 input registers (default) or 3 holding registers\n"
    "  --start N         first register, 0 .. 65535 (default 1)\n"
    "  --count N         registers, 1 .. 125 (default 125; 124 for a 32-bit type, which\n"
    "                    takes an even count: two registers a value)\n"
    "  --type T          the value column: uint16 (default), int16, hex, or a 32-bit\n"
    "                    uint32, int32 or float32 from each pair of registers\n"
    "  --order O         the 32-bit types' byte order: ABCD (default, high word first),\n"
    "                    CDAB (words swapped), BADC (bytes swapped), DCBA (both)\n"
    "  --one-based       count registers from 1: --start and the numbers shown are the\n"
    "                    address on the wire plus one (--start 1 .. 65536)\n"
    "  --retries N       ask again up to N times (0 .. 10, default 0) after no reply or\n"
    "                    a garbled one before the read-out counts as failed\n"
    "  --every SECONDS   poll period (0.1 or more; units s, m, h allowed)\n"
    "  --for DURATION    poll this long, e.g. 90s, 15m, 12h, 1d: DURATION/SECONDS read-outs\n"
    "                    at most (a read-out that outlasts the period skips the slots it took)\n"
    "  --reconnect       when the port is lost, open it again after 1, 2, 4 ... 30 s and\n"
    "                    go on polling; each loss and return is a record\n"
    "  --format F        table (default), csv (one line per read-out, ';' after\n"
    "                    every field, a header line first) or jsonl (one JSON object a line)\n"
    "  -o, --output FILE write the records to FILE instead of standard output; the file is\n"
    "                    replaced when the run ends, or not at all if writing it fails\n"
    "  --append          add the records to the end of FILE (the CSV header only when FILE\n"
    "                    is new or empty); FILE then grows record by record\n"
    "  --no-header       no CSV header line\n"
    "  --timeout MS      longest wait for a reply (default 600 plus the wire time)\n"
    "  --speed, --parity, --stop   line settings (default 19200, even, 1)\n"
    "  -q, --quiet       no notes\n"
    "  -v, --verbose     echo the traffic as SENT:/QVMD: lines on standard error\n"
    "\n"
    "Exit: 0 every read-out answered, 1 a read-out failed (no reply, bad CRC,\n"
    "exception) or the port was lost and came back, 2 bad usage (also an output that\n"
    "cannot be written), 3 the port could not be opened (or was lost, without\n"
    "--reconnect), 130 interrupted, 141 the reader of standard output went away.\n";

struct Attempt {
  Readout readout;
  bool interrupted = false;
  bool worthRetrying = false;  // no reply, or one that was garbled or not the answer
};

// One request and its reply.
Attempt askOnce(CliPort& port, Console& console, const ReadRequest& r, const std::string& request,
                std::chrono::milliseconds wait) {
  Attempt a;
  a.readout.time = IsoTimestampNow();
  const Exchange ex = ModbusExchange(port, console, request, wait);
  if (ex.interrupted) {
    a.interrupted = true;
    return a;
  }
  a.readout.error = ModbusFailure(ex.reply, r.slave, wait);
  if (a.readout.error.empty() && !modbus::ReadReplyMatches(request, ex.reply))
    a.readout.error = "slave " + std::to_string(r.slave) + " answered with an unexpected reply";
  if (a.readout.error.empty()) {
    a.readout.registers = modbus::CheckReadReply(ex.reply).registers;
  } else {
    a.worthRetrying = modbus::CheckReadReply(ex.reply).kind != modbus::ReplyCheck::Kind::Exception;
  }
  return a;
}

// One read-out, asked again up to `retries` times; nothing when Ctrl+C ended its wait.
std::optional<Readout> readOnce(CliPort& port, Console& console, const ReadRequest& r, const std::string& request,
                                std::chrono::milliseconds wait, int retries) {
  for (int attempt = 0;; ++attempt) {
    Attempt a = askOnce(port, console, r, request, wait);
    if (a.interrupted) return std::nullopt;
    if (a.readout.error.empty() || !a.worthRetrying || attempt == retries) return a.readout;
    console.note(a.readout.error + "; asking again (" + std::to_string(attempt + 1) + " of " + std::to_string(retries) +
                 ")");
  }
}

Format formatFrom(const Args& args) {
  const std::string f = args.text("--format", "table");
  if (f == "table") return Format::Table;
  if (f == "csv") return Format::Csv;
  if (f == "jsonl") return Format::Jsonl;
  throw UsageError("--format takes table, csv or jsonl (got '" + f + "')");
}

ReadRequest requestFrom(const Args& args) {
  ReadRequest r;
  r.slave = static_cast<int>(args.integer("--slave", modbus::kFirstSlaveAddress, modbus::kLastSlaveAddress, 1));
  const std::string function = args.text("--function", "4");
  if (function != "3" && function != "4") throw UsageError("--function takes 3 or 4 (got '" + function + "')");
  r.function = function[0] - '0';
  const std::string type = args.text("--type", "uint16");
  const auto t = modbus::ValueTypeNamed(type);
  if (!t) throw UsageError("--type takes uint16, int16, hex, uint32, int32 or float32 (got '" + type + "')");
  r.type = *t;
  if (args.has("--order")) {
    const auto o = modbus::WordOrderNamed(args.text("--order"));
    if (!o) throw UsageError("--order takes ABCD, CDAB, BADC or DCBA (got '" + args.text("--order") + "')");
    if (!modbus::IsWide(r.type)) throw UsageError("--order belongs to the 32-bit types uint32, int32 and float32");
    r.order = *o;
  }
  r.oneBased = args.has("--one-based");
  const int base = r.oneBased ? 1 : 0;
  r.first = static_cast<int>(args.integer("--start", base, 65535 + base, 1));
  r.address = r.first - base;
  const int step = modbus::RegistersPerValue(r.type);
  r.count = static_cast<int>(args.integer("--count", 1, modbus::kMaxReadCount, modbus::kMaxReadCount / step * step));
  if (r.count % step != 0)
    throw UsageError("--count must be even for " + std::string(modbus::NameOf(r.type)) +
                     ": two registers a value (got " + std::to_string(r.count) + ")");
  if (r.address + r.count - 1 > 65535)
    throw UsageError("--start " + std::to_string(r.first) + " with --count " + std::to_string(r.count) +
                     " runs past the last register");
  return r;
}

}  // namespace

int ReadCommand(const Words& words) {
  auto specs = PortOptions();
  for (const char* name : {"--slave", "--function", "--start", "--count", "--type", "--order", "--retries", "--every",
                           "--for", "--format", "--timeout"})
    specs.push_back({name, true, ""});
  for (const char* flag : {"--one-based", "--reconnect"}) specs.push_back({flag, false, ""});
  for (const auto& o : OutputOptions()) specs.push_back(o);
  const Args args("read", specs, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, kModbusLineDefaults);
  const ReadRequest req = requestFrom(args);
  const int retries = static_cast<int>(args.integer("--retries", 0, 10, 0));
  const Format format = formatFrom(args);
  const bool polling = args.has("--every");
  if (args.has("--for") && !polling) throw UsageError("--for needs --every");
  const bool reconnect = args.has("--reconnect");
  if (reconnect && !polling) throw UsageError("--reconnect needs --every");
  const long long everyMs = polling ? args.durationMs("--every", 100) : 0;
  const long long forMs = args.has("--for") ? args.durationMs("--for", 1) : 0;
  const long long planned = forMs > 0 ? (forMs + everyMs - 1) / everyMs : -1;  // -1: until Ctrl+C
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string portName = args.required("--port");
  RecordOutput out(OutputFrom(args));
  out.open();

  std::optional<CliPort> port;
  port.emplace(portName, line, args.has("--force"));
  const auto slave = static_cast<uint8_t>(req.slave);
  const std::string request = req.function == 3 ? modbus::BuildReadHoldingRegisters(slave, req.address, req.count)
                                                : modbus::BuildReadInputRegisters(slave, req.address, req.count);
  const auto wait = args.has("--timeout")
                        ? std::chrono::milliseconds(args.integer("--timeout", 10, 600000, 600))
                        : DefaultModbusWait(*port, request.size(), modbus::ReadReplyLength(req.count));
  if (format == Format::Csv && out.wantsHeader()) out.write(CsvHeader(req));

  int failed = 0, lost = 0;
  const auto t0 = Clock::now();
  const auto slotAt = [&](long long k) { return t0 + std::chrono::milliseconds(k * everyMs); };
  std::optional<Clock::time_point> endAt;
  if (planned >= 0) endAt = slotAt(planned);
  for (long long k = 0; planned < 0 || k < planned; ++k) {
    if (k > 0) {
      // A read-out that took longer than the period (a slow or silent slave,
      // retries) is not made up for by a burst of read-outs: polling goes on
      // from the slot now due, so a run with --for ends on time.
      const long long due = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count() / everyMs;
      k = std::max(k, due);
      if (planned >= 0 && k >= planned) break;
    }
    std::optional<Readout> got;
    try {
      if (k > 0 && port->waitUntil([] { return false; }, slotAt(k)) == CliPort::Wait::Interrupted)
        return kExitInterrupted;
      got = readOnce(*port, console, req, request, wait, retries);
    } catch (const CliError& e) {
      if (!reconnect || e.code() != kExitPort) throw;
      ++lost;
      const std::string time = IsoTimestampNow();
      console.note(time + " port lost: " + e.what());
      out.write(PortEventRecord(format, time, "port lost", portName, e.what()));
      const Reopen back = ReopenPort(port, portName, line, args.has("--force"), console, endAt);
      if (back == Reopen::Interrupted) return kExitInterrupted;
      if (back == Reopen::TimeUp) break;
      const std::string backTime = IsoTimestampNow();
      console.note(backTime + " port back");
      out.write(PortEventRecord(format, backTime, "port back", portName, ""));
      // The read-outs of the time without the port are not made up: the next
      // one is made at once, and polling keeps to its schedule from there.
      const long long due = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count() / everyMs;
      k = std::max(k, due) - 1;
      continue;
    }
    if (!got) return kExitInterrupted;  // the half-awaited read-out gives no record
    const Readout& x = *got;
    if (!x.error.empty()) {
      ++failed;
      if (!polling) {
        console.error(x.error);
        return kExitPanel;
      }
      console.note(x.time + " " + x.error);
    }
    switch (format) {
      case Format::Table: out.write(TableRecord(req, x, polling)); break;
      case Format::Csv: out.write(CsvRecord(req, x)); break;
      case Format::Jsonl: out.write(JsonRecord(req, x)); break;
    }
    if (!polling) break;
  }
  if (failed > 0 || lost > 0) {
    std::string what;
    if (failed > 0) what = std::to_string(failed) + (failed == 1 ? " read-out failed" : " read-outs failed");
    if (lost > 0)
      what += std::string(what.empty() ? "" : ", ") + "the port was lost " +
              (lost == 1 ? std::string("once") : std::to_string(lost) + " times");
    console.error(what + (failed + lost == 1 ? " (see its record)" : " (see their records)"));
    return kExitPanel;
  }
  return kExitOk;
}

}  // namespace ostrel::cli
