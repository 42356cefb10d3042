// ostrel-cli send: the custom command to the panel port, and what came back
// as the log pane's hex dump.
#include <cctype>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/HexBytes.h"
#include "cli/Records.h"
#include "common/hexdump.h"
#include "core/CustomCommand.h"
#include "panel/TFP.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli send --port PORT (--hex \"02 30 ...\" | --ascii TEXT | --request CODE [--payload HEX])\n"
    "                       [--wait MS] [--speed 2400] [--parity even] [--stop 2] [--quiet] [--verbose]\n"
    "\n"
    "Sends one command to the panel port and prints the reply as a hex dump of the\n"
    "bytes on the line (\"02 30 33 ... 04 \"):\n"
    "  --hex BYTES       the custom command of the window: bytes as hexadecimal, one\n"
    "                    or two digits each (upper or lower case), separated by blanks;\n"
    "                    a longer token such as \"023033\" is refused. These are the\n"
    "                    bytes on the line, so a panel request is its frame with every\n"
    "                    byte between 02 and 04 written as two hex characters.\n"
    "  --ascii TEXT      the text's Windows-1251 bytes, without a line end\n"
    "  --request CODE    a panel request framed as the scan frames its own: CODE in\n"
    "                    hex (0x48 or 48), --payload its data bytes in hex (default\n"
    "                    none), the length byte the payload's length\n"
    "  --wait MS         collect the reply for up to MS (default 2500; 0: do not wait),\n"
    "                    ending early once the panel's end byte (04) arrived\n"
    "\n"
    "Examples (the panel information request, 0x48, three times the same frame):\n"
    "  ostrel-cli send --port COM1 --request 0x48 --payload \"00 00 00\"\n"
    "  ostrel-cli send --port COM1 --hex \"02 30 33 31 32 33 34 35 42 34 38 30 30 30 33 30 30 30 30 30 30 30 30 45 46 "
    "04\"\n"
    "  ostrel-cli send --port COM1 --ascii \"$(printf '\\x020312345B48000300000000EF\\x04')\"\n"
    "\n"
    "Exit: 0 a reply came (or --wait 0), 1 nothing came back, 2 bad usage (also a\n"
    "malformed hex command), 3 the port could not be opened, 130 interrupted.\n";

// What framing a request needs of the scan's view: the port to write to and
// the traffic lines of --verbose.
class RequestView : public panel::PanelLinkView {
 public:
  RequestView(CliPort& port, Console& console) : port_(port), console_(console) {}
  void AddLogLine(const std::string& line) override { console_.traffic(line); }
  bool PortOpen() override { return true; }
  void WritePort(const std::string& bytes) override { port_.write(bytes); }
  void PurgePort() override { port_.purge(); }
  void SetPanelLabel(panel::PanelLabel, const std::string&) override {}
  void AddLoopRow(const std::vector<std::string>&) override {}
  void AddDeviceRow(const std::vector<std::string>&) override {}
  void StartTimer() override {}
  void StopTimer() override {}

 private:
  CliPort& port_;
  Console& console_;
};

uint8_t requestCode(const std::string& text) {
  std::string digits = text;
  if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits = digits.substr(2);
  bool ok = !digits.empty() && digits.size() <= 2;
  for (char c : digits) ok = ok && std::isxdigit(static_cast<unsigned char>(c));
  if (!ok) throw UsageError("--request: \"" + text + "\" is not a request code; give one byte in hex, e.g. 0x48");
  return static_cast<uint8_t>(std::stoul(digits, nullptr, 16));
}

}  // namespace

int SendCommand(const Words& words) {
  auto specs = PortOptions();
  for (const char* name : {"--hex", "--ascii", "--request", "--payload", "--wait"}) specs.push_back({name, true, ""});
  const Args args("send", specs, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, kPanelLineDefaults);
  if (args.has("--hex") + args.has("--ascii") + args.has("--request") != 1)
    throw UsageError("give exactly one of --hex, --ascii and --request");
  if (args.has("--payload") && !args.has("--request")) throw UsageError("--payload goes with --request");
  const auto wait = std::chrono::milliseconds(args.integer("--wait", 0, 600000, 2500));
  std::string bytes, payload;
  uint8_t code = 0;
  if (args.has("--hex")) {
    bytes = HexBytesArgument("--hex", args.text("--hex"));
    if (bytes.empty()) throw UsageError("the command holds no bytes to send");
  } else if (args.has("--ascii")) {
    bytes = CustomAsciiBytes(args.text("--ascii"));
    if (bytes.empty()) throw UsageError("the command holds no bytes to send");
  } else {
    code = requestCode(args.text("--request"));
    payload = HexBytesArgument("--payload", args.text("--payload"));
    if (payload.size() > 255) throw UsageError("--payload: at most 255 bytes fit the length byte");
  }
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string portName = args.required("--port");

  CliPort port(portName, line, args.has("--force"));
  if (port.modbusOnly())
    throw UsageError(
        "panel frames needs the panel's own line: modbus-tcp:// carries Modbus requests only (use rfc2217:// or "
        "tcp://)");
  std::string reply;
  port.onBytes([&](const std::string& got) { reply += got; });
  if (args.has("--request")) {
    RequestView view(port, console);
    panel::TFP(view).SendRequest(code, static_cast<uint8_t>(payload.size()), payload);
  } else {
    console.traffic(hexLine("SENT: ", bytes));
    port.write(bytes);
  }
  if (wait.count() == 0) return kExitOk;
  const auto result = port.waitUntil(
      [&] { return reply.find(static_cast<char>(panel::kEndByte)) != std::string::npos; }, Clock::now() + wait);
  if (!reply.empty()) WriteRecord(1, hexDump(reply) + "\n");
  if (result == CliPort::Wait::Interrupted) return kExitInterrupted;
  if (reply.empty()) {
    console.error("no reply from the panel within " + std::to_string(wait.count()) + " ms");
    return kExitPanel;
  }
  return kExitOk;
}

}  // namespace ostrel::cli
