// ostrel-cli write command|clock|line|address: the four commands of the
// window's Commands group, with its checks and refusals; write register and
// registers: any values into holding registers (functions 6 and 16). The
// reply (or exception) in words.
#include <cstdio>

#include "cli/CliPort.h"
#include "cli/Commands.h"
#include "cli/Exit.h"
#include "cli/ModbusExchange.h"
#include "cli/Records.h"
#include "cli/WritePlan.h"
#include "common/Text.h"
#include "core/CommandCaptions.h"
#include "modbus/codes.h"
#include "modbus/commands.h"
#include "modbus/complete.h"
#include "modbus/frames.h"
#include "modbus/reply.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli write command --port PORT --command NAME [--panel 0..13] [--disable]\n"
    "                                [--target 1..251] [--loop 1|2]\n"
    "                                [--beeper] [--reset-fire] [--fire2] [--fire2-time] [--siren]\n"
    "       ostrel-cli write clock   --port PORT\n"
    "       ostrel-cli write line    --port PORT --which fp|modbus --baud RATE --line-parity P\n"
    "       ostrel-cli write address --port PORT --new 1..247\n"
    "       ostrel-cli write register  --port PORT [--one-based] ADDR VALUE\n"
    "       ostrel-cli write registers --port PORT [--one-based] ADDR VALUE...\n"
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
    "  register   VALUE into holding register ADDR (function 6).\n"
    "  registers  up to 123 VALUEs into the holding registers from ADDR on (function 16).\n"
    "           ADDR is 0 .. 65535, or 1 .. 65536 with --one-based (the address on the\n"
    "           wire is then ADDR - 1); a VALUE is 0 .. 65535 or 0x0000 .. 0xFFFF.\n"
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
  using modbus::PanelCommand;
  static const struct {
    const char* name;
    PanelCommand command;
  } kCommands[] = {{"general", PanelCommand::GeneralWrite},
                   {"zone", PanelCommand::ZoneControl},
                   {"device", PanelCommand::DeviceControl},
                   {"outputs", PanelCommand::OutputsControl}};
  const std::string name = args.required("--command");
  modbus::CommandControls c;
  c.command = CommandOfCaption(name);  // the window's caption is taken too
  for (const auto& k : kCommands) {
    if (name == k.name) c.command = k.command;
  }
  if (c.command == PanelCommand::None)
    throw UsageError("unknown --command '" + name + "': give general, zone, device or outputs");
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
  const bool general = c.command == PanelCommand::GeneralWrite;
  const bool switches = c.beeper || c.resetFire || c.fire2 || c.fire2Time || c.siren;
  if (!general && switches)
    throw UsageError("--beeper, --reset-fire, --fire2, --fire2-time and --siren belong to --command general");
  if (general && (args.has("--target") || args.has("--loop")))
    throw UsageError("--target and --loop do not belong to --command general");
  return c;
}

// The window's parity texts, whatever case was typed, or their first letters.
std::string parityText(const std::string& typed) {
  const std::string t = AsciiLower(typed);
  if (t == "none" || t == "n") return "None";
  if (t == "even" || t == "e") return "Even";
  if (t == "odd" || t == "o") return "Odd";
  throw UsageError("--line-parity takes None, Even or Odd (got '" + typed + "')");
}

struct Planned {
  std::string frame;
  std::string what;  // for the confirmation: "register 1 = 0x3111"
};

// A register address or value: decimal or 0x hex, within lo .. hi.
bool parseNumber(const std::string& word, long lo, long hi, long& out) {
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    const std::string digits = word.substr(2);
    if (digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    const long v = std::stol(digits, nullptr, 16);
    if (v < lo || v > hi) return false;
    out = v;
    return true;
  }
  return ParseWhole(word, lo, hi, out);
}

std::string numberText(int v) { return std::to_string(v) + " (" + hex4(v) + ")"; }

// write register ADDR VALUE and write registers ADDR VALUE...
Planned planRegisters(const std::string& which, const Args& args, const Words& positional, uint8_t slave) {
  const bool single = which == "register";
  if (positional.size() < 2 || (single && positional.size() != 2))
    throw UsageError(single ? "write register takes ADDR VALUE" : "write registers takes ADDR VALUE...");
  const long base = args.has("--one-based") ? 1 : 0;
  long first = 0;
  if (!parseNumber(positional[0], base, 65535 + base, first))
    throw UsageError("register address '" + positional[0] + "' is not " + std::to_string(base) + " .. " +
                     std::to_string(65535 + base));
  std::vector<uint16_t> values;
  for (size_t k = 1; k < positional.size(); ++k) {
    long v = 0;
    if (!parseNumber(positional[k], 0, 65535, v))
      throw UsageError("value '" + positional[k] + "' is not 0 .. 65535 or 0x0000 .. 0xFFFF");
    values.push_back(static_cast<uint16_t>(v));
  }
  const int n = static_cast<int>(values.size());
  if (n > modbus::kMaxWriteCount)
    throw UsageError("write registers takes at most " + std::to_string(modbus::kMaxWriteCount) + " values (got " +
                     std::to_string(n) + ")");
  const int address = static_cast<int>(first - base);
  if (address + n - 1 > 65535)
    throw UsageError(std::to_string(n) + " values from register " + positional[0] + " run past the last register");
  if (single) {
    return {modbus::BuildWriteSingleRegister(slave, address, static_cast<uint8_t>(values[0] >> 8),
                                             static_cast<uint8_t>(values[0] & 0xFF)),
            "register " + std::to_string(first) + " = " + numberText(values[0])};
  }
  std::string what = n == 1 ? "register " + std::to_string(first) + " = "
                            : "registers " + std::to_string(first) + " .. " + std::to_string(first + n - 1) + " = ";
  for (int k = 0; k < n; ++k) what += (k ? ", " : "") + numberText(values[static_cast<size_t>(k)]);
  return {modbus::BuildWriteMultipleRegisters(slave, address, values), what};
}

Planned plan(const std::string& which, const Args& args, const Words& positional, uint8_t slave) {
  if (which == "register" || which == "registers") return planRegisters(which, args, positional, slave);
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
  if (address < modbus::kFirstSlaveAddress || address > modbus::kLastSlaveAddress)
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
  } else {
    specs.push_back({"--one-based", false, ""});
  }
  return specs;
}

// The words of write register(s) that are no option nor an option's value:
// the address and the values, in their order (a value such as -5 too, so
// that it is refused by name). The rest is left for Args.
Words takePositional(const std::string& which, const std::vector<OptionSpec>& specs, const Words& words, Words& rest) {
  Words positional;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    const bool number = !w.empty() && (w[0] != '-' || (w.size() > 1 && w[1] >= '0' && w[1] <= '9'));
    if (number && (which == "register" || which == "registers")) {
      positional.push_back(w);
      continue;
    }
    rest.push_back(w);
    for (const auto& s : specs) {
      if (s.takesValue && (w == s.name || (!s.alias.empty() && w == s.alias)) && i + 1 < words.size()) {
        rest.push_back(words[++i]);
        break;
      }
    }
  }
  return positional;
}

void checkWhich(const std::string& which) {
  if (which != "command" && which != "clock" && which != "line" && which != "address" && which != "register" &&
      which != "registers")
    throw UsageError("unknown write '" + which + "': give command, clock, line, address, register or registers");
}

}  // namespace

PlannedWrite PlanWrite(const Words& words, uint8_t slave) {
  if (words.empty()) throw UsageError("no write given: command, clock, line, address, register or registers");
  const std::string which = words[0];
  checkWhich(which);
  std::vector<OptionSpec> specs;
  for (const auto& s : optionsFor(which)) {
    if (s.name != "--port" && s.name != "--speed" && s.name != "--parity" && s.name != "--stop" &&
        s.name != "--force" && s.name != "--quiet" && s.name != "--verbose" && s.name != "--help" &&
        s.name != "--slave" && s.name != "--timeout")
      specs.push_back(s);
  }
  Words rest;
  const Words positional = takePositional(which, specs, Words(words.begin() + 1, words.end()), rest);
  const Args args("write", specs, rest);
  const Planned p = plan(which, args, positional, slave);
  return {p.frame, p.what};
}

int WriteCommand(const Words& words) {
  if (words.empty()) {
    // As a bare ostrel-cli: the usage, and the code of a bad command line.
    WriteRecord(kStandardError, kHelp);
    return kExitUsage;
  }
  if (words[0] == "--help" || words[0] == "-h") return PrintHelp(kHelp);
  const std::string which = words[0];
  checkWhich(which);
  const auto specs = optionsFor(which);
  Words rest;
  const Words positional = takePositional(which, specs, Words(words.begin() + 1, words.end()), rest);
  const Args args("write", specs, rest);
  if (args.has("--help")) return PrintHelp(kHelp);
  const LineSettings line = LineFromArgs(args, kModbusLineDefaults);
  const int slave = static_cast<int>(args.integer("--slave", modbus::kFirstSlaveAddress, modbus::kLastSlaveAddress, 1));
  Console console(args.has("--quiet"), args.has("--verbose"));
  const std::string portName = args.required("--port");
  // Every value is checked before the port is touched, as in the window.
  if (which != "clock") (void)plan(which, args, positional, static_cast<uint8_t>(slave));

  CliPort port(portName, line, args.has("--force"));
  const Planned p = plan(which, args, positional, static_cast<uint8_t>(slave));
  const auto wait = args.has("--timeout") ? std::chrono::milliseconds(args.integer("--timeout", 10, 600000, 600))
                                          : DefaultModbusWait(port, p.frame.size(), modbus::kWriteReplyLength);
  const Exchange ex = ModbusExchange(port, console, p.frame, wait);
  if (ex.interrupted) {
    console.error(ex.sent ? "interrupted: the command was sent, but its confirmation was not awaited"
                          : "interrupted before the command was sent");
    return kExitInterrupted;
  }
  std::string failure = ModbusFailure(ex.reply, slave, wait);
  // A write is confirmed by its echo: the request itself, or for several
  // registers (the clock too) its first six bytes (address, function, start, count).
  if (failure.empty() && !modbus::WriteEchoConfirms(p.frame, ex.reply))
    failure = "slave " + std::to_string(slave) + " answered with an unexpected reply";
  if (!failure.empty()) {
    console.error(failure);
    return kExitPanel;
  }
  if (!console.quiet()) WriteRecord(1, "slave " + std::to_string(slave) + " confirmed: " + p.what + "\n");
  return kExitOk;
}

}  // namespace ostrel::cli
