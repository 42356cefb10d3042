#pragma once
// Ctrl+C (SIGINT) and SIGTERM only raise a flag; the commands look at it
// between records, close the port and finish their output.
namespace ostrel::cli {

void InstallInterruptHandlers();
bool Interrupted();

}  // namespace ostrel::cli
