#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

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

int TerminalColumns(int fd) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (h == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(h, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

int OpenUnlessAFile(const std::string& path) {
  errno = 0;
  const int fd = _open(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    if (errno == ENOENT) errno = 0;
    return -1;
  }
  // NUL, CON and pipes are no disk files: they are written as they are.
  if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != FILE_TYPE_DISK) return fd;
  _close(fd);
  errno = 0;
  return -1;
}

std::string FileBehind(const std::string& path) { return path; }

int CreateFileBeside(const std::string& path, std::string& created) {
  const size_t slash = path.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    created = folder + name + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(attempt) + ".part";
    const int fd =
        _open(created.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

int OpenForAppending(const std::string& path, bool& empty) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  empty = fd >= 0 && _lseeki64(fd, 0, SEEK_END) == 0;
  return fd;
}

bool MoveIntoPlace(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return false;
}

void RemoveFile(const std::string& path) { _unlink(path.c_str()); }

}  // namespace ostrel::cli
