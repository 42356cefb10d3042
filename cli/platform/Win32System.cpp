#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include "cli/Interrupt.h"
#include "cli/System.h"

namespace ostrel::cli {

namespace {

BOOL WINAPI onControl(DWORD event) {
  // Ctrl+C, Ctrl+Break and a closing console window end the command as a signal does on
  // Linux: the port is closed and the output finished.
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    RaiseInterrupt();
    return TRUE;
  }
  return FALSE;
}

void enableControlSequences(DWORD handle) {
  HANDLE h = GetStdHandle(handle);
  DWORD mode = 0;
  if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode))
    SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace

void PrepareConsole() {
  // CSV lines end in CR LF already and JSON in LF: text mode would turn each LF into CR LF.
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  enableControlSequences(STD_OUTPUT_HANDLE);
  enableControlSequences(STD_ERROR_HANDLE);
}

void InstallInterruptHandlers() { SetConsoleCtrlHandler(onControl, TRUE); }

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

int OpenForWriting(const std::string& path) {
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

}  // namespace ostrel::cli
