// ostrel-cli send: the custom command to the panel port, and what came back
// as the log pane's hex dump.
#include "app/core/CustomCommand.h"
#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/Records.h"
#include "common/hexdump.h"
#include "panel/TFP.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli send --port PORT (--hex \"02 30 ...\" | --ascii TEXT) [--wait MS]\n"
    "                       [--speed 2400] [--parity even] [--stop 2] [--quiet] [--verbose]\n"
    "\n"
    "Sends the custom command to the panel port, as the window's Send does: --hex\n"
    "takes byte values as uppercase hexadecimal separated by blanks (\"0A 1B FF\"; one\n"
    "digit is one byte, longer tokens keep their first two digits), --ascii the text's\n"
    "Windows-1251 bytes without a line end. Then it collects the reply for up to\n"
    "--wait MS (default 2500; 0: do not wait), ending early once the panel's end byte\n"
    "(04) arrived, and prints it as a hex dump (\"02 30 31 04 \").\n"
    "\n"
    "Exit: 0 a reply came (or --wait 0), 1 nothing came back, 2 bad usage (also a\n"
    "malformed hex command), 3 the port could not be opened, 130 interrupted.\n";

}  // namespace

int SendCommand(const Words& words) {
  auto specs = PortOptions();
  for (const char* name : {"--hex", "--ascii", "--wait"}) specs.push_back({name, true, ""});
  const Args args("send", specs, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, {2400, serial::paEven, serial::sb2});
  if (args.has("--hex") == args.has("--ascii")) throw UsageError("give exactly one of --hex and --ascii");
  const auto wait = std::chrono::milliseconds(args.integer("--wait", 0, 600000, 2500));
  std::string bytes;
  if (args.has("--hex")) {
    const CustomHexCommand parsed = ParseCustomHex(args.text("--hex"));
    if (!parsed.error.empty()) throw UsageError(parsed.error);
    bytes.assign(parsed.bytes.begin(), parsed.bytes.end());
  } else {
    bytes = CustomAsciiBytes(args.text("--ascii"));
  }
  if (bytes.empty()) throw UsageError("the command holds no bytes to send");
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string portName = args.required("--port");

  CliPort port(portName, line, args.has("--force"));
  std::string reply;
  port.onBytes([&](const std::string& got) { reply += got; });
  console.traffic(hexLine("SENT: ", bytes));
  port.write(bytes);
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
