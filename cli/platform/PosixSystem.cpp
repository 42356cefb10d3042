#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "cli/Interrupt.h"
#include "cli/System.h"

namespace ostrel::cli {

namespace {
void onSignal(int) { RaiseInterrupt(); }
}  // namespace

void PrepareConsole() {}

void InstallInterruptHandlers() {
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no restart: a blocking call returns and the flag is seen
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

int OpenForWriting(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
}

}  // namespace ostrel::cli
