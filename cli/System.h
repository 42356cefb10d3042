#pragma once
// What ostrel-cli needs of the operating system beyond the serial port, one file per platform
// (the build picks it).
#include <string>

namespace ostrel::cli {

// Standard output and error carry the records' bytes unchanged (no line-end translation), and
// a console shows UTF-8 text and the progress line's control sequences.
void PrepareConsole();

// Ctrl+C, and the system's request to end the program, only raise the interrupt flag
// (Interrupt.h).
void InstallInterruptHandlers();

// True when the descriptor is a terminal (a console window on Windows).
bool IsTerminal(int fd);

// Creates or empties a file for writing; -1 with errno set when it cannot.
int OpenForWriting(const std::string& path);

}  // namespace ostrel::cli
