// Runs the title tests on a private X server, so they see what a window
// manager sees. Without Xvfb the tests are skipped.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Application.h"

namespace {

// Starts Xvfb on a free display; returns its number, or -1.
int startXvfb(pid_t& pid) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
  pid = ::fork();
  if (pid == 0) {
    ::dup2(fds[1], 3);  // the one descriptor the server writes its display number to
    const int devnull = ::open("/dev/null", O_WRONLY);
    ::dup2(devnull, 2);
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1280x1024x24",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (::poll(&p, 1, 10000) > 0) {
    char c;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  return number.empty() ? -1 : std::atoi(number.c_str());
}

bool onlyListing(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--gtest_list_tests") return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  pid_t server = -1;
  const int display = onlyListing(argc, argv) ? -1 : startXvfb(server);
  if (display < 0) {
    ::setenv("OSTREL_NO_X_SERVER", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  } else {
    ::setenv("DISPLAY", (":" + std::to_string(display)).c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  int rc;
  {
    ostrel::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    rc = RUN_ALL_TESTS();
  }
  if (server > 0) {
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
  }
  return rc;
}
