// A port that another program has open is not shared unasked: its replies would be read by
// two programs. The program at the far end of a pseudo-terminal (the simulator) is the line
// itself and does not count.
#include <gtest/gtest.h>

#include "peers.h"

namespace ostrel::cli::testing {
namespace {

TEST(CliPortUse, APortAnotherProgramHasOpenIsRefusedUnlessForced) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  pid_t holder = -1;
  std::vector<std::string> words{"sh", "-c", "exec sleep 60 <>\"$0\"", panel.path};
  auto argv = argvOf(words);
  ASSERT_EQ(posix_spawnp(&holder, "sh", nullptr, nullptr, argv.data(), environ), 0);
  const auto held = [&] { return RunCli({"send", "--port", "COM1", "--ascii", "x", "--wait", "0"}); };
  ASSERT_TRUE(WaitFor([&] { return held().code == 3; }, std::chrono::seconds(10)));

  const Result r = RunCli({"scan", "--port", "COM1", "-q"});
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "ostrel-cli: error: the serial port COM1 (" + panel.path + ") is busy: in use by sleep (pid " +
                       std::to_string(holder) + ") (--force opens it all the same)\n");
  const Result forced = RunCli({"scan", "--port", "COM1", "-q", "--force"});
  EXPECT_EQ(forced.code, 0) << forced.err;
  EXPECT_EQ(Lines(forced.out, "\r\n").size(), 6u);

  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(held().code, 0);
}

}  // namespace
}  // namespace ostrel::cli::testing
