// ostrel-cli write command|clock|line|address: the four commands of the
// window's Commands group, with its checks and refusals, and the reply (or
// exception) in words.
#include <cstdio>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Exit.h"
#include "cli/ModbusExchange.h"
#include "cli/Records.h"
#include "modbus/codes.h"
#include "modbus/commands.h"
#include "modbus/complete.h"
#include "modbus/frames.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli write command --port PORT --command NAME [--panel 0..13] [--disable]\n"
    "                                [--target 1..251] [--loop 1|2]\n"
    "                                [--beeper] [--reset-fire] [--fire2] [--fire2-time] [--siren]\n"
    "       ostrel-cli write clock   --port PORT\n"
    "       ostrel-cli write line    --port PORT --which fp|modbus --baud RATE --line-parity P\n"
    "       ostrel-cli write address --port PORT --new 1..247\n"
    "  each with [--slave 1] [--timeout MS] [--speed 19200] [--parity even] [--stop 1]\n"
    "\n"
    "Sends one command of the window's Commands group to the panel's Modbus interface\n"
    "and reports the reply in words.\n"
    "  command  the command word into register 1. NAME: general (\"General write\"),\n"
    "           zone (\"Zone control\"), device (\"Device control\") or outputs\n"
    "           (\"Outputs control\"). --target is the zone, device or output number,\n"
    "           --loop 2 sets the loop-2 bit, --disable the En(0)/Dis(1) bit; the five\n"
    "           switches are the General write boxes.\n"
    "  clock    this PC's local date and time into the clock registers 2 .. 5.\n"
    "  line     the panel's line code (baud 300 .. 57600, parity None, Even or Odd)\n"
    "           for its FP port (register 0x8013) or its Modbus port (0x8012).\n"
    "  address  a new Modbus slave address into register 0x8011.\n"
    "\n"
    "Exit: 0 the panel confirmed, 1 it refused (exception) or did not answer,\n"
    "2 bad usage (also a refused value, as the window refuses it), 3 the port could\n"
    "not be opened, 130 interrupted.\n";

std::string hex4(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", v & 0xFFFF);
  return buf;
}

modbus::CommandControls commandFrom(const Args& args) {
  static const struct {
    const char* shortName;
    const char* windowText;
  } kCommands[] = {{"general", "General write"},
                   {"zone", "Zone control"},
                   {"device", "Device control"},
                   {"outputs", "Outputs control"}};
  const std::string name = args.required("--command");
  modbus::CommandControls c;
  for (const auto& k : kCommands) {
    if (name == k.shortName || name == k.windowText) c.command = k.windowText;
  }
  if (c.command.empty()) throw UsageError("unknown --command '" + name + "': give general, zone, device or outputs");
  c.panelNumber = static_cast<int>(args.integer("--panel", 0, 13, 0));
  c.panelDisable = args.has("--disable");
  c.zoneDevice = static_cast<int>(args.integer("--target", 1, 251, 1));
  const long loop = args.integer("--loop", 1, 2, 0);
  c.loop1 = loop == 1;
  c.loop2 = loop == 2;
  c.beeper = args.has("--beeper");
  c.resetFire = args.has("--reset-fire");
  c.fire2 = args.has("--fire2");
  c.fire2Time = args.has("--fire2-time");
  c.siren = args.has("--siren");
  const bool general = c.command == "General write";
  const bool switches = c.beeper || c.resetFire || c.fire2 || c.fire2Time || c.siren;
  if (!general && switches)
    throw UsageError("--beeper, --reset-fire, --fire2, --fire2-time and --siren belong to --command general");
  if (general && (args.has("--target") || args.has("--loop")))
    throw UsageError("--target and --loop do not belong to --command general");
  return c;
}

// The window's parity texts, whatever case was typed, or their first letters.
std::string parityText(const std::string& typed) {
  std::string t = typed;
  for (char& ch : t) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
  if (t == "none" || t == "n") return "None";
  if (t == "even" || t == "e") return "Even";
  if (t == "odd" || t == "o") return "Odd";
  throw UsageError("--line-parity takes None, Even or Odd (got '" + typed + "')");
}

struct Planned {
  std::string frame;
  std::string what;  // for the confirmation: "register 1 = 0x3111"
};

Planned plan(const std::string& which, const Args& args, uint8_t slave) {
  if (which == "command") {
    const modbus::CommandWord w = modbus::BuildCommandWord(commandFrom(args));
    return {modbus::BuildWriteSingleRegister(slave, 1, w.high, w.low),
            "command register 1 = " + hex4(w.high << 8 | w.low)};
  }
  if (which == "clock") {
    const modbus::ClockTime t = modbus::LocalClockNow();
    char when[48];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return {*modbus::BuildSetDateTime(slave, 2, 4, t), std::string("clock registers 2 .. 5 = ") + when};
  }
  if (which == "line") {
    const std::string target = args.required("--which");
    if (target != "fp" && target != "modbus") throw UsageError("--which takes fp or modbus (got '" + target + "')");
    const uint8_t code = modbus::BuildLineCode(args.required("--baud"), parityText(args.required("--line-parity")));
    if (code == modbus::kInvalidLineCode) throw UsageError("Wrong baud or parity selected...");
    const int reg = target == "fp" ? modbus::kPanelPortLineRegister : modbus::kModbusLineRegister;
    return {
        modbus::BuildWriteSingleRegister(slave, reg, 0x00, code),
        (target == "fp" ? "FP port line register " : "Modbus port line register ") + hex4(reg) + " = " + hex4(code)};
  }
  // address
  const std::string text = args.text("--new");
  if (text.empty()) throw UsageError("Modbus address not entered");
  const int address = modbus::ParseNewSlaveAddress(text);
  // A panel moved to 0 or to 248..255 could no longer be asked anything.
  if (address < kFirstSlaveAddress || address > kLastSlaveAddress)
    throw UsageError("Invalid new modbus address entered...");
  return {modbus::BuildWriteSingleRegister(slave, modbus::kSlaveAddressRegister, 0x00, static_cast<uint8_t>(address)),
          "slave address register 0x8011 = " + std::to_string(address)};
}

std::vector<OptionSpec> optionsFor(const std::string& which) {
  auto specs = PortOptions();
  specs.push_back({"--slave", true, ""});
  specs.push_back({"--timeout", true, ""});
  if (which == "command") {
    for (const char* v : {"--command", "--panel", "--target", "--loop"}) specs.push_back({v, true, ""});
    for (const char* f : {"--disable", "--beeper", "--reset-fire", "--fire2", "--fire2-time", "--siren"})
      specs.push_back({f, false, ""});
  } else if (which == "line") {
    for (const char* v : {"--which", "--baud", "--line-parity"}) specs.push_back({v, true, ""});
  } else if (which == "address") {
    specs.push_back({"--new", true, ""});
  }
  return specs;
}

}  // namespace

int WriteCommand(const Words& words) {
  if (words.empty()) {
    // As a bare ostrel-cli: the usage, and the code of a bad command line.
    WriteRecord(kStandardError, kHelp);
    return kExitUsage;
  }
  if (words[0] == "--help" || words[0] == "-h") return PrintHelp(kHelp);
  const std::string which = words[0];
  if (which != "command" && which != "clock" && which != "line" && which != "address")
    throw UsageError("unknown write '" + which + "': give command, clock, line or address");
  const Args args("write", optionsFor(which), Words(words.begin() + 1, words.end()));
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, {19200, serial::paEven, serial::sb1});
  const int slave = static_cast<int>(args.integer("--slave", kFirstSlaveAddress, kLastSlaveAddress, 1));
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string portName = args.required("--port");
  // Every value is checked before the port is touched, as in the window.
  if (which != "clock") (void)plan(which, args, static_cast<uint8_t>(slave));

  CliPort port(portName, line, args.has("--force"));
  const Planned p = plan(which, args, static_cast<uint8_t>(slave));
  const auto wait = args.has("--timeout") ? std::chrono::milliseconds(args.integer("--timeout", 10, 600000, 600))
                                          : DefaultModbusWait(port, p.frame.size(), modbus::kWriteReplyLength);
  const Exchange ex = ModbusExchange(port, console, p.frame, wait);
  if (ex.interrupted) {
    console.error(ex.sent ? "interrupted: the command was sent, but its confirmation was not awaited"
                          : "interrupted before the command was sent");
    return kExitInterrupted;
  }
  std::string failure = ModbusFailure(ex.reply, slave, wait);
  // A write is confirmed by its echo: the request itself, or for the clock
  // its first six bytes (address, function, start, count).
  const size_t echoed = which == "clock" ? 6 : p.frame.size();
  if (failure.empty() &&
      (ex.reply.size() < modbus::kWriteReplyLength || ex.reply.compare(0, echoed, p.frame, 0, echoed) != 0))
    failure = "slave " + std::to_string(slave) + " answered with an unexpected reply";
  if (!failure.empty()) {
    console.error(failure);
    return kExitPanel;
  }
  if (!console.quiet()) WriteRecord(1, "slave " + std::to_string(slave) + " confirmed: " + p.what + "\n");
  return kExitOk;
}

}  // namespace ostrel::cli
