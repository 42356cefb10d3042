// ostrel-cli: the panel's reads, read-outs and commands from a script.
#include <cstdio>
#include <cstring>
#include <exception>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/Interrupt.h"
#include "cli/Records.h"
#include "cli/System.h"
#include "serial/VaComm.h"

namespace ostrel::cli {

namespace {

const char* kUsage =
    "Usage: ostrel-cli COMMAND [OPTIONS]\n"
    "\n"
    "Reads and configures Quorvel fire-alarm panels from scripts.\n"
    "\n"
    "Commands:\n"
    "  scan    read the panel information, the loops and every device (CSV or JSON)\n"
    "  read    read input registers over Modbus, once or every few seconds\n"
    "  write   send a command: command, clock, line or address\n"
    "  send    send a custom command to the panel port and print the reply\n"
    "  ports   list the serial ports (and on Linux the device map)\n"
    "\n"
    "'ostrel-cli COMMAND --help' (or 'ostrel-cli help COMMAND') describes each command;\n"
    "on Linux 'man ostrel-cli' all. 'ostrel-cli --version' names this version.\n"
    "Exit codes: 0 success, 1 the panel refused or did not answer, 2 bad usage,\n"
    "3 the port could not be opened, 130 interrupted, 141 the reader of the output went away.\n";

}  // namespace

int RunCommand(const std::string& command, const Words& words);

int Run(int argc, char** argv) {
  if (argc < 2) {
    WriteRecord(2, kUsage);
    return kExitUsage;
  }
  const std::string command = argv[1];
  const Words words(argv + 2, argv + argc);
  if (command == "--version" || command == "-V") {
    WriteRecord(kStandardOutput, std::string("ostrel-cli ") + OSTREL_VERSION + "\n");
    return kExitOk;
  }
  if (command == "help" && words.size() == 1 && words[0] != "help") return RunCommand(words[0], {"--help"});
  if (command == "--help" || command == "-h" || command == "help") return PrintHelp(kUsage);
  return RunCommand(command, words);
}

int RunCommand(const std::string& command, const Words& words) {
  if (command == "scan") return ScanCommand(words);
  if (command == "read") return ReadCommand(words);
  if (command == "write") return WriteCommand(words);
  if (command == "send") return SendCommand(words);
  if (command == "ports") return PortsCommand(words);
  throw UsageError("unknown command '" + command + "'; see 'ostrel-cli --help'");
}

}  // namespace ostrel::cli

int main(int argc, char** argv) {
  using namespace ostrel::cli;
  PrepareConsole();
  InstallInterruptHandlers();
  // Errors the serial component reports outside a call of ours reach the
  // command through its port; nothing else is written behind its back.
  ostrel::serial::SetApplicationErrorReport([](const std::exception&) {});
  Console console(false, false);
  try {
    return Run(argc, argv);
  } catch (const CliError& e) {
    if (*e.what()) console.error(e.what());
    return e.code();
  } catch (const std::exception& e) {
    console.error(e.what());
    return kExitPanel;
  }
}
