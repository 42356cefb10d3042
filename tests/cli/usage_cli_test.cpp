// ostrel-cli's command line: help, and bad usage (exit 2, one line naming
// the cause, nothing sent).
#include <gtest/gtest.h>
#include <pty.h>

#include "peers.h"

namespace ostrel::cli::testing {
namespace {

TEST(CliUsage, EveryCommandHasHelp) {
  for (const char* command : {"scan", "read", "write", "send", "ports"}) {
    const Result r = RunCli({command, "--help"});
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_EQ(r.out.rfind(std::string("Usage: ostrel-cli ") + command, 0), 0u) << r.out;
  }
  const Result none = RunCli({});
  EXPECT_EQ(none.code, 2);
  EXPECT_EQ(none.err.rfind("Usage: ostrel-cli COMMAND", 0), 0u);
}

TEST(CliUsage, BadUsageExitsWith2AndNamesTheCause) {
  NewMapDir();
  std::map<std::vector<std::string>, std::string> cases{
      {{"scan", "--port", "COM1", "--colour"}, "unknown option '--colour'; see 'ostrel-cli scan --help'"},
      {{"frobnicate"}, "unknown command 'frobnicate'; see 'ostrel-cli --help'"},
      {{"read", "--port", "COM2", "--count", "0"}, "--count must be a whole number from 1 to 125 (got '0')"},
      {{"read", "--port", "COM2", "--count", "126"}, "--count must be a whole number from 1 to 125 (got '126')"},
      {{"read", "--port", "COM2", "--slave", "0"}, "--slave must be a whole number from 1 to 247 (got '0')"},
      {{"read", "--port", "COM2", "--slave", "248"}, "--slave must be a whole number from 1 to 247 (got '248')"},
      {{"read", "--port", "COM2", "--for", "10"}, "--for needs --every"},
      {{"read", "--port", "COM2", "--every", "soon"},
       "--every takes seconds, e.g. 5, 0.5, 90s, 15m, 12h or 1d (got 'soon')"},
      {{"read", "--port", "COM2", "--format", "xml"}, "--format takes table, csv or jsonl (got 'xml')"},
      {{"read", "--count", "5"}, "option --port is required; see 'ostrel-cli read --help'"},
      {{"read", "--port", "PRINTER"},
       "unknown port 'PRINTER': give COM1 .. COM256, a device path such as /dev/ttyUSB0, or a URL such as "
       "rfc2217://host:port"},
      {{"scan", "--port", "COM1", "--parity", "evn"}, "--parity takes none, even, odd, mark or space (got 'evn')"},
      {{"send", "--port", "COM1", "--hex", "A"}, "--hex: Wrong custom hex command, 2 symbols at least..."},
      {{"send", "--port", "COM1"}, "give exactly one of --hex, --ascii and --request"},
      {{"write", "reboot"}, "unknown write 'reboot': give command, clock, line, address, register or registers"},
      {{"read", "--port", "COM2", "--function", "6"}, "--function takes 3 or 4 (got '6')"},
      {{"read", "--port", "COM2", "--type", "float32", "--count", "3"},
       "--count must be even for float32: two registers a value (got 3)"},
      {{"read", "--port", "COM2", "--order", "CDAB"}, "--order belongs to the 32-bit types uint32, int32 and float32"},
      {{"read", "--port", "COM2", "--start", "65535", "--count", "2"},
       "--start 65535 with --count 2 runs past the last register"},
      {{"read", "--port", "COM2", "--one-based", "--start", "0"},
       "--start must be a whole number from 1 to 65536 (got '0')"},
      {{"read", "--port", "COM2", "--reconnect"}, "--reconnect needs --every"},
      {{"write", "register", "--port", "COM2", "100", "70000"}, "value '70000' is not 0 .. 65535 or 0x0000 .. 0xFFFF"},
      {{"write", "register", "--port", "COM2", "100", "-5"}, "value '-5' is not 0 .. 65535 or 0x0000 .. 0xFFFF"},
      {{"write", "register", "--port", "COM2", "100", "1", "2"}, "write register takes ADDR VALUE"},
      {{"write", "registers", "--port", "COM2", "100"}, "write registers takes ADDR VALUE..."},
      {{"write", "register", "--one-based", "--port", "COM2", "0", "1"}, "register address '0' is not 1 .. 65536"},
      {{"write", "registers", "--port", "COM2", "0xFFFF", "1", "2"},
       "2 values from register 0xFFFF run past the last register"},
      {{"write", "line", "--port", "COM2", "7"}, "unexpected argument '7'; see 'ostrel-cli write --help'"},
      {{"scan", "--port"}, "option --port needs a value; see 'ostrel-cli scan --help'"},
  };
  std::vector<std::string> many{"write", "registers", "--port", "COM2", "0"};
  many.resize(many.size() + 124, "1");
  cases.emplace(many, "write registers takes at most 123 values (got 124)");
  for (const auto& [args, message] : cases) {
    const Result r = RunCli(args);
    EXPECT_EQ(r.code, 2) << message;
    EXPECT_EQ(r.err, "ostrel-cli: error: " + message + "\n");
    EXPECT_EQ(r.out, "");
  }
}

TEST(CliUsage, VersionHelpByNameAndABareCommand) {
  const Result version = RunCli({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("ostrel-cli ", 0), 0u) << version.out;
  for (const char* command : {"scan", "write"}) {
    const Result byName = RunCli({"help", command});
    EXPECT_EQ(byName.code, 0);
    EXPECT_EQ(byName.out, RunCli({command, "--help"}).out);
  }
  // A command without what it acts on is a bad command line, as ostrel-cli alone is.
  const Result bare = RunCli({"write"});
  EXPECT_EQ(bare.code, 2);
  EXPECT_EQ(bare.err.rfind("Usage: ostrel-cli write", 0), 0u) << bare.err;
  EXPECT_EQ(bare.out, "");
  // Parity by letter is taken; anything else names the choices.
  NewMapDir();
  const std::vector<std::string> line{"write", "line", "--port", "COM9", "--which", "fp", "--baud", "9600"};
  auto with = [&](const char* parity) {
    auto args = line;
    args.insert(args.end(), {"--line-parity", parity});
    return RunCli(args);
  };
  EXPECT_EQ(with("E").code, 3);  // the value passed; COM9 is no device here
  const Result wrong = with("X");
  EXPECT_EQ(wrong.code, 2);
  EXPECT_EQ(wrong.err, "ostrel-cli: error: --line-parity takes None, Even or Odd (got 'X')\n");
}

TEST(CliUsage, AnInterruptedWriteSaysWhetherTheCommandWentOut) {
  const std::string dir = NewMapDir();
  int master = -1, peer = -1;
  char name[64];
  ASSERT_EQ(openpty(&master, &peer, name, nullptr, nullptr), 0);
  ASSERT_EQ(::symlink(name, (dir + "/COM3").c_str()), 0);
  Background cli({"write", "clock", "--port", "COM3", "--timeout", "20000"}, dir + "/out");
  // The request reaching the line is the sign that it went out.
  std::string seen;
  ASSERT_TRUE(WaitFor(
      [&] {
        pollfd p{master, POLLIN, 0};
        char buf[64];
        if (poll(&p, 1, 0) > 0) seen.append(buf, static_cast<size_t>(std::max<ssize_t>(::read(master, buf, 64), 0)));
        return seen.size() >= 13;
      },
      std::chrono::seconds(10)));
  cli.signal(SIGINT);
  EXPECT_EQ(cli.wait(std::chrono::seconds(10)), 130);
  EXPECT_EQ(cli.err(), "ostrel-cli: error: interrupted: the command was sent, but its confirmation was not awaited\n");
  ::close(peer);
  ::close(master);
}

}  // namespace
}  // namespace ostrel::cli::testing
