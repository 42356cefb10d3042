// ostrel-cli ports on Windows: the COM ports the system knows now (the serial
// devices map in the registry), each with its system device and whether it can
// be opened at this moment. COM names are the system's own here: the Device
// Manager gives an adapter its name, so there is no device map to change.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

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

struct ComPort {
  std::string name;    // COM3
  std::string device;  // \Device\USBSER000
  std::string state;   // free, busy, or the reason it cannot be opened
};

int comNumber(const std::string& name) { return name.size() > 3 ? std::atoi(name.c_str() + 3) : 0; }

std::string systemText(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
  LocalFree(text);
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out;
}

std::string stateOf(const std::string& name) {
  // Opened and closed again at once, without touching the line settings.
  const std::string path = "\\\\.\\" + name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    // A name whose device has gone may still open; only a line that answers is a port.
    DCB line{};
    line.DCBlength = sizeof line;
    const bool answers = GetCommState(h, &line) != 0;
    const DWORD code = answers ? 0 : GetLastError();
    CloseHandle(h);
    return answers ? "free" : "cannot be used: " + systemText(code);
  }
  const DWORD code = GetLastError();
  if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) return "busy";
  return "cannot be opened: " + systemText(code);
}

std::vector<ComPort> presentPorts() {
  std::vector<ComPort> ports;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;  // no serial port has ever been present
  for (DWORD i = 0;; ++i) {
    char value[256], data[256];
    DWORD valueSize = sizeof value, dataSize = sizeof data - 1, type = 0;
    const LONG rc = RegEnumValueA(key, i, value, &valueSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize] = '\0';
    const std::string name = data;
    if (comNumber(name) > 0) ports.push_back({name, std::string(value, valueSize), {}});
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(),
            [](const ComPort& a, const ComPort& b) { return comNumber(a.name) < comNumber(b.name); });
  for (ComPort& p : ports) p.state = stateOf(p.name);
  return ports;
}

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
  const std::vector<ComPort> ports = presentPorts();
  WriteRecord(kStandardOutput, args.has("--json") ? json(ports) : table(ports, !args.has("--quiet")));
  return kExitOk;
}

}  // namespace ostrel::cli
