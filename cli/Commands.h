#pragma once
// The commands of ostrel-cli. Each takes the words after its name and
// returns the exit code, or throws CliError.
#include <string>
#include <vector>

namespace ostrel::cli {

using Words = std::vector<std::string>;

int ScanCommand(const Words& words);
int ReadCommand(const Words& words);
int WriteCommand(const Words& words);
int SendCommand(const Words& words);
int PortsCommand(const Words& words);

// Prints a command's help text to standard output.
int PrintHelp(const char* text);

}  // namespace ostrel::cli
