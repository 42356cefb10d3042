// ostrel-cli ports on Windows: the COM ports the system knows now (the serial
// devices map in the registry), each with its system device and whether it can
// be opened at this moment; the JSON adds each adapter's name, USB identity and
// serial number. COM names are the system's own here: the Device
// Manager gives an adapter its name, so there is no device map to change.
#include <algorithm>
#include <string>
#include <vector>

#include "core/ComPorts.h"

#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Exit.h"
#include "cli/Records.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli ports [--json] [--quiet]\n"
    "\n"
    "Lists the COM ports of this computer that are present now: USB adapters while\n"
    "they are plugged in, and the on-board ports. For each: its COM name, the\n"
    "system's device behind it, and whether it is free, busy (another program has it\n"
    "open) or cannot be opened or used (with the system's reason).\n"
    "\n"
    "  --json     one JSON document with the ports\n"
    "  --quiet    the table without its heading\n"
    "\n"
    "The Device Manager (Ports (COM & LPT), the adapter's Properties, Port Settings,\n"
    "Advanced) changes the COM name an adapter gets.\n"
    "\n"
    "Exit: 0 listed, 2 bad usage.\n";

std::string table(const std::vector<ComPort>& ports, bool heading) {
  if (ports.empty()) return heading ? "No COM port is present.\n" : "";
  size_t nameWidth = 4, deviceWidth = 6;
  for (const ComPort& p : ports) {
    nameWidth = std::max(nameWidth, p.name.size());
    deviceWidth = std::max(deviceWidth, p.device.size());
  }
  const auto row = [&](const std::string& a, const std::string& b, const std::string& c) {
    return a + std::string(nameWidth - a.size() + 2, ' ') + b + std::string(deviceWidth - b.size() + 2, ' ') + c + "\n";
  };
  std::string out = heading ? row("PORT", "DEVICE", "STATE") : "";
  for (const ComPort& p : ports) out += row(p.name, p.device, p.state);
  return out;
}

std::string json(const std::vector<ComPort>& ports) {
  std::string doc = "{\n  \"ports\": [";
  for (size_t i = 0; i < ports.size(); ++i)
    doc += std::string(i ? "," : "") + "\n    {\"name\": " + JsonString(ports[i].name) +
           ", \"device\": " + JsonString(ports[i].device) + ", \"state\": " + JsonString(ports[i].state) + "}";
  return doc + (ports.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace

int PortsCommand(const Words& words) {
  for (const std::string& w : words) {
    if (w == "--map" || w == "--unmap" || w.rfind("--map=", 0) == 0 || w.rfind("--unmap=", 0) == 0)
      throw UsageError("COM names are the system's own on Windows: the Device Manager changes them");
  }
  const Args args("ports", {{"--help", false, "-h"}, {"--quiet", false, "-q"}, {"--json", false, ""}}, words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const std::vector<ComPort> ports = PresentComPorts();
  WriteRecord(kStandardOutput, args.has("--json") ? json(ports) : table(ports, !args.has("--quiet")));
  return kExitOk;
}

}  // namespace ostrel::cli
