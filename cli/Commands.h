#pragma once
// The commands of ostrel-cli. Each takes the words after its name and
// returns the exit code, or throws CliError.
#include <string>
#include <vector>

namespace ostrel::cli {

// The Modbus RTU slave addresses a request may name: 0 is the broadcast, which no slave
// answers, and 248 to 255 are reserved. --slave takes these, and so does a new address.
inline constexpr int kFirstSlaveAddress = 1;
inline constexpr int kLastSlaveAddress = 247;

using Words = std::vector<std::string>;

int ScanCommand(const Words& words);
int ReadCommand(const Words& words);
int WriteCommand(const Words& words);
int SendCommand(const Words& words);
int PortsCommand(const Words& words);

// Prints a command's help text to standard output.
int PrintHelp(const char* text);

}  // namespace ostrel::cli
