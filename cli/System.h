#pragma once
// What ostrel-cli needs of the operating system beyond the serial port, one file per platform
// (the build picks it).
#include <string>

namespace ostrel::cli {

// Standard output and error carry the records' bytes unchanged (no line-end translation), and
// a console shows UTF-8 text and the progress line's control sequences.
void PrepareConsole();

// Ctrl+C, and the system's request to end the program, only raise the interrupt flag
// (Interrupt.h). A reader that closes its end of our output does not end the program: the
// write fails and the command ends as it ends on Ctrl+C.
void InstallInterruptHandlers();

// True when the descriptor is a terminal (a console window on Windows).
bool IsTerminal(int fd);

// The width of the terminal on the descriptor in characters, or 0 when it is not known.
int TerminalColumns(int fd);

// Opens `path` for writing when it names something other than a file on a disk: a device
// (/dev/null, NUL, a console) or a pipe, which is written as it is and never replaced. -1 when
// it names a file, or nothing yet, or cannot be opened (errno set then; 0 for the first two).
int OpenUnlessAFile(const std::string& path);

// The file that writing to `path` changes: the target of a symbolic link (the link stays),
// `path` itself otherwise.
std::string FileBehind(const std::string& path);

// Creates a new, empty file in the folder of `path`, named after it, for writing; its name goes
// to `created`. It gets the permissions of the file at `path` when there is one. -1 with errno
// set when it cannot.
int CreateFileBeside(const std::string& path, std::string& created);

// Opens a file for adding to its end, creating it when it does not exist; -1 with errno set
// when it cannot. `empty` tells whether it holds nothing yet.
int OpenForAppending(const std::string& path, bool& empty);

// Puts the file `from` in the place of `to`, replacing what is there in one step. False with
// errno set when it cannot.
bool MoveIntoPlace(const std::string& from, const std::string& to);

// Removes a file; errors are ignored.
void RemoveFile(const std::string& path);

}  // namespace ostrel::cli
