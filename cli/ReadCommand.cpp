// ostrel-cli read: function-4 read-outs with the register table's decode
// words, once or every few seconds, as a table, CSV or JSON lines.
#include <cstdio>
#include <optional>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Exit.h"
#include "cli/ModbusExchange.h"
#include "cli/Records.h"
#include "common/hexdump.h"
#include "modbus/complete.h"
#include "modbus/decode.h"
#include "modbus/frames.h"
#include "modbus/reply.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli read --port PORT [--slave 1] [--start 1] [--count 125]\n"
    "                       [--every SECONDS [--for DURATION]] [--format table|csv|jsonl]\n"
    "                       [-o FILE [--append]] [--no-header] [--timeout MS]\n"
    "                       [--speed 19200] [--parity even] [--stop 1]\n"
    "\n"
    "Reads input registers (function 4) from the panel's Modbus interface and shows\n"
    "each register's bytes with the decode words of the window's register table.\n"
    "With --every, reads again every SECONDS (for DURATION, or until Ctrl+C) and\n"
    "writes one record per read-out with an ISO 8601 time stamp; a failed read-out\n"
    "is a record with its error, and polling goes on.\n"
    "\n"
    "  -p, --port PORT   COM1 .. COM256 (on Linux through the device map) or a device path\n"
    "  --slave N         slave address, 1 .. 247 (default 1)\n"
    "  --start N         first register, 0 .. 65535 (default 1)\n"
    "  --count N         registers, 1 .. 125 (default 125)\n"
    "  --every SECONDS   poll period (0.1 or more; units s, m, h allowed)\n"
    "  --for DURATION    poll this long, e.g. 90s, 15m, 12h, 1d: DURATION/SECONDS read-outs\n"
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
    "exception), 2 bad usage (also an output that cannot be written), 3 the port could\n"
    "not be opened, 130 interrupted, 141 the reader of standard output went away.\n";

enum class Format { Table, Csv, Jsonl };

struct Request {
  int slave, start, count;
};

struct Readout {
  std::string time;
  std::string error;
  std::vector<modbus::RegisterBytes> registers;
};

std::string hex2(uint8_t b) { return hexDump(std::string(1, static_cast<char>(b))).substr(0, 2); }

std::string tableRecord(const Request& r, const Readout& x, bool polling) {
  std::string out;
  if (polling) out += "# " + x.time + (x.error.empty() ? "" : " error: " + x.error) + "\n";
  if (!x.error.empty()) return out + (polling ? "\n" : "");
  char line[160];
  std::snprintf(line, sizeof line, "%8s  %-4s  %-36s  %-3s  %s\n", "Register", "High", "Decode", "Low", "Decode");
  out += line;
  for (size_t k = 0; k < x.registers.size(); ++k) {
    const int number = r.start + static_cast<int>(k);
    const auto& reg = x.registers[k];
    std::snprintf(line, sizeof line, "%8d  %-4s  %-36s  %-3s  %s", number, hex2(reg.high).c_str(),
                  modbus::DecodeStatusByte(reg.high, number).c_str(), hex2(reg.low).c_str(),
                  modbus::DecodeStatusByte(reg.low, number).c_str());
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  }
  return polling ? out + "\n" : out;
}

std::string csvHeader(const Request& r) {
  std::string out = "time;result;";
  for (int k = 0; k < r.count; ++k) {
    const std::string n = std::to_string(r.start + k);
    out += n + ";" + n + " high;" + n + " low;";
  }
  return out + "\r\n";
}

std::string csvRecord(const Request& r, const Readout& x) {
  std::string error = x.error;
  for (char& c : error) {
    if (c == ';') c = ',';
  }
  std::string out = x.time + ";" + (error.empty() ? "ok" : error) + ";";
  for (size_t k = 0; k < x.registers.size(); ++k) {
    const int number = r.start + static_cast<int>(k);
    const auto& reg = x.registers[k];
    out += hex2(reg.high) + hex2(reg.low) + ";" + modbus::DecodeStatusByte(reg.high, number) + ";" +
           modbus::DecodeStatusByte(reg.low, number) + ";";
  }
  return out + "\r\n";
}

std::string jsonRecord(const Request& r, const Readout& x) {
  std::string out = "{\"time\": " + JsonString(x.time) + ", \"slave\": " + std::to_string(r.slave) +
                    ", \"start\": " + std::to_string(r.start) + ", \"count\": " + std::to_string(r.count);
  if (!x.error.empty()) return out + ", \"ok\": false, \"error\": " + JsonString(x.error) + "}\n";
  out += ", \"ok\": true, \"registers\": [";
  for (size_t k = 0; k < x.registers.size(); ++k) {
    const int number = r.start + static_cast<int>(k);
    const auto& reg = x.registers[k];
    if (k) out += ", ";
    out += "{\"number\": " + std::to_string(number) + ", \"value\": " + std::to_string(reg.high << 8 | reg.low) +
           ", \"high\": \"" + hex2(reg.high) +
           "\", \"high_decode\": " + JsonString(modbus::DecodeStatusByte(reg.high, number)) + ", \"low\": \"" +
           hex2(reg.low) + "\", \"low_decode\": " + JsonString(modbus::DecodeStatusByte(reg.low, number)) + "}";
  }
  return out + "]}\n";
}

// One read-out; nothing when Ctrl+C ended its wait.
std::optional<Readout> readOnce(CliPort& port, Console& console, const std::string& request, int slave,
                                std::chrono::milliseconds wait) {
  Readout x;
  x.time = IsoTimestampNow();
  const Exchange ex = ModbusExchange(port, console, request, wait);
  if (ex.interrupted) return std::nullopt;
  x.error = ModbusFailure(ex.reply, slave, wait);
  if (x.error.empty()) x.registers = modbus::CheckReadReply(ex.reply).registers;
  return x;
}

Format formatFrom(const Args& args) {
  const std::string f = args.text("--format", "table");
  if (f == "table") return Format::Table;
  if (f == "csv") return Format::Csv;
  if (f == "jsonl") return Format::Jsonl;
  throw UsageError("--format takes table, csv or jsonl (got '" + f + "')");
}

}  // namespace

int ReadCommand(const Words& words) {
  auto specs = PortOptions();
  for (const char* name : {"--slave", "--start", "--count", "--every", "--for", "--format", "--timeout"})
    specs.push_back({name, true, ""});
  for (const auto& o : OutputOptions()) specs.push_back(o);
  const Args args("read", specs, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, {19200, serial::paEven, serial::sb1});
  const Request req{static_cast<int>(args.integer("--slave", kFirstSlaveAddress, kLastSlaveAddress, 1)),
                    static_cast<int>(args.integer("--start", 0, 65535, 1)),
                    static_cast<int>(args.integer("--count", 1, 125, 125))};
  const Format format = formatFrom(args);
  const bool polling = args.has("--every");
  if (args.has("--for") && !polling) throw UsageError("--for needs --every");
  const long long everyMs = polling ? args.durationMs("--every", 100) : 0;
  const long long forMs = args.has("--for") ? args.durationMs("--for", 1) : 0;
  const long long planned = forMs > 0 ? (forMs + everyMs - 1) / everyMs : -1;  // -1: until Ctrl+C
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string portName = args.required("--port");
  RecordOutput out(OutputFrom(args));
  out.open();

  CliPort port(portName, line, args.has("--force"));
  const std::string request = modbus::BuildReadInputRegisters(static_cast<uint8_t>(req.slave), req.start, req.count);
  const auto wait = args.has("--timeout") ? std::chrono::milliseconds(args.integer("--timeout", 10, 600000, 600))
                                          : DefaultModbusWait(port, request.size(), modbus::ReadReplyLength(req.count));
  if (format == Format::Csv && out.wantsHeader()) out.write(csvHeader(req));

  int failed = 0;
  const auto t0 = Clock::now();
  for (long long k = 0; planned < 0 || k < planned; ++k) {
    if (k > 0) {
      const auto slot = t0 + std::chrono::milliseconds(k * everyMs);
      if (port.waitUntil([] { return false; }, slot) == CliPort::Wait::Interrupted) return kExitInterrupted;
    }
    const std::optional<Readout> got = readOnce(port, console, request, req.slave, wait);
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
      case Format::Table: out.write(tableRecord(req, x, polling)); break;
      case Format::Csv: out.write(csvRecord(req, x)); break;
      case Format::Jsonl: out.write(jsonRecord(req, x)); break;
    }
    if (!polling) break;
  }
  if (failed > 0) {
    console.error(std::to_string(failed) + " read-outs failed (see their records)");
    return kExitPanel;
  }
  return kExitOk;
}

}  // namespace ostrel::cli
