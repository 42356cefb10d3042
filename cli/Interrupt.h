#pragma once
// Ctrl+C and the system's request to end the program only raise a flag (the handlers are
// installed by InstallInterruptHandlers, System.h); the commands look at it between records,
// close the port and finish their output.
namespace ostrel::cli {

void RaiseInterrupt();
bool Interrupted();

}  // namespace ostrel::cli
