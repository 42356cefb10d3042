// ostrel-cli through network ports: the simulated panel and the pymodbus slave behind Debian's
// ser2net (RFC 2217 and raw), pymodbus' own Modbus TCP server, and servers that refuse, stay
// silent or go away in the middle of a read-out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "network_peers.h"
#include "peers.h"

namespace ostrel::cli::testing {
namespace {

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// ser2net keeps the device for a moment after a connection has closed, and resets one that
// comes meanwhile: a command that met such a reset is run again, for at most ten seconds.
Result RunThroughServer(const std::vector<std::string>& args) {
  Result r;
  WaitFor(
      [&] {
        r = RunCli(args);
        return r.err.find("Connection reset by peer") == std::string::npos &&
               r.err.find("the connection ended") == std::string::npos;
      },
      std::chrono::seconds(10));
  return r;
}

class CliNetworkPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(panel.ready) << "the simulated panel did not start";
    ASSERT_TRUE(server.ready) << "ser2net did not start";
  }
  PanelPeer panel{{}};
  Ser2net server{panel.path, panel.dir};
};

// The scan through either accepter gives what it gives on the pseudo-terminal itself.
TEST_F(CliNetworkPanel, ScanGivesTheSameRowsAsTheLineItself) {
  const Result direct = RunCli({"scan", "--port", "COM1"});
  ASSERT_EQ(direct.code, 0) << direct.err;
  for (const std::string& url : {server.raw(), server.rfc()}) {
    const Result r = RunThroughServer({"scan", "--port", url});
    EXPECT_EQ(r.code, 0) << url << ": " << r.err;
    EXPECT_EQ(r.out, direct.out) << url;
  }
}

// The settings are looked at while the connection lasts (a slow panel keeps the scan going):
// ser2net may give the device its old settings back when the connection ends.
TEST(CliNetworkLine, LineSettingsReachTheServersLine) {
  PanelPeer panel({"--delay-ms", "400"});
  ASSERT_TRUE(panel.ready);
  Ser2net server(panel.path, panel.dir);
  ASSERT_TRUE(server.ready);
  struct Case {
    std::vector<std::string> line;
    std::vector<std::string> expected;  // words of stty's report
  };
  // A pseudo-terminal holds no parity enable, but keeps odd or even.
  const Case cases[] = {
      {{"--speed", "38400", "--parity", "odd", "--stop", "2"}, {"speed 38400 baud", " parodd", " cstopb"}},
      {{"--speed", "9600", "--parity", "even", "--stop", "1"}, {"speed 9600 baud", "-parodd", "-cstopb"}}};
  for (const Case& c : cases) {
    std::vector<std::string> args{"scan", "--port", server.rfc()};
    args.insert(args.end(), c.line.begin(), c.line.end());
    Background scan(args, panel.dir + "/scan.out");
    std::string report;
    const bool arrived = WaitFor(
        [&] {
          report = RunProgram({"stty", "-F", panel.path, "-a"}).out;
          for (const auto& word : c.expected)
            if (report.find(word) == std::string::npos) return false;
          return true;
        },
        std::chrono::seconds(10));
    EXPECT_TRUE(arrived) << c.line[1] << "\n" << report;
    EXPECT_EQ(scan.wait(std::chrono::seconds(30)), 0) << scan.err();
  }
}

// A COM name of the device map may stand for a URL, as for a device.
TEST_F(CliNetworkPanel, MappedComNameReachesTheServer) {
  ASSERT_EQ(::symlink(server.rfc().c_str(), (panel.dir + "/COM7").c_str()), 0);
  const Result r = RunCli({"scan", "--port", "COM7"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("scan complete: 2 loops, 6 device rows"), std::string::npos) << r.err;
}

class CliNetworkModbus : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(slave.ready) << "the pymodbus slave did not start";
    ASSERT_TRUE(server.ready) << "ser2net did not start";
  }
  SlavePeer slave;
  Ser2net server{RealPath(slave.dir + "/COM2"), slave.dir};
};

TEST_F(CliNetworkModbus, ReadGivesTheSameRecordsAsTheLineItself) {
  const std::vector<std::string> read{"read", "--start", "0", "--count", "125"};
  auto with = [&](const std::string& port) {
    auto args = read;
    args.insert(args.begin() + 1, {"--port", port});
    return RunThroughServer(args);
  };
  const Result direct = with("COM2");
  ASSERT_EQ(direct.code, 0) << direct.err;
  for (const std::string& url : {server.raw(), server.rfc()}) {
    const Result r = with(url);
    EXPECT_EQ(r.code, 0) << url << ": " << r.err;
    EXPECT_EQ(r.out, direct.out) << url;
  }
}

TEST_F(CliNetworkModbus, WritesReachTheSlave) {
  Result r = RunCli({"write", "command", "--port", server.raw(), "--timeout", "3000", "--command", "zone", "--panel",
                     "3", "--target", "17"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "slave 1 confirmed: command register 1 = 0x3111\n");
  EXPECT_EQ(slave.HoldingOnce(1, 0x3111)[1], 0x3111);
  r = RunThroughServer({"write", "line", "--port", server.rfc(), "--timeout", "3000", "--which", "modbus", "--baud",
                        "19200", "--line-parity", "Even"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(slave.HoldingOnce(0x8012, 0x51)[0x8012], 0x51);
}

// ser2net goes away in the middle of polling: the port is lost once, and the run ends with the
// port's exit code instead of hanging or polling a dead connection.
TEST_F(CliNetworkModbus, ServerKilledMidPollingIsALostPort) {
  const std::string out = slave.dir + "/poll.out";
  Background poll({"read", "--port", server.rfc(), "--count", "125", "--every", "0.1", "--format", "jsonl"}, out);
  ASSERT_TRUE(WaitFor([&] { return Lines(ReadFile(out)).size() >= 3; }, std::chrono::seconds(10)));
  server.kill();
  EXPECT_EQ(poll.wait(std::chrono::seconds(10)), 3);
  const std::string err = poll.err();
  EXPECT_NE(err.find("is no longer available: the connection ended"), std::string::npos) << err;
}

TEST(CliModbusTcp, ReadAndPollAgainstPymodbusTcpServer) {
  const int port = FreePort();
  Peer server({"/usr/bin/python3", std::string(OSTREL_SOURCE_DIR) + "/tests/e2e/modbus_slave.py", "--tcp",
               "127.0.0.1:" + std::to_string(port), "--input-count", "200"});
  ASSERT_EQ(server.line(), "READY");
  const std::string url = "modbus-tcp://127.0.0.1:" + std::to_string(port);
  Result r = RunCli({"read", "--port", url, "--start", "1", "--count", "125", "-v"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 126u);
  EXPECT_EQ(lines[64], "      64  16577  40    /Alarm                                C1   ON/Alarm");
  // Slave 2 does not exist as a unit of this server: pymodbus answers for any unit it serves.
  r = RunCli({"read", "--port", url, "--count", "3", "--every", "0.1", "--for", "0.5", "--format", "jsonl"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_GE(Lines(r.out).size(), 4u);
  // The panel's own protocol has no place on a Modbus TCP server.
  r = RunCli({"scan", "--port", url});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("modbus-tcp:// carries Modbus requests only"), std::string::npos) << r.err;
}

// Servers that cannot be used end the command with the port's exit code and a message that
// says why; URLs that carry more than a host and a port are refused before any connection.
TEST(CliNetworkFailures, RefusedSilentAndInvalid) {
  SilentServer silent;
  const int closed = FreePort();
  struct Case {
    std::string url;
    int code;
    std::string message;
  };
  const Case cases[] = {
      {"rfc2217://127.0.0.1:" + std::to_string(closed), 3, "the server refused the connection"},
      {"tcp://127.0.0.1:" + std::to_string(closed), 3, "the server refused the connection"},
      {"rfc2217://127.0.0.1:" + std::to_string(silent.port), 3, "no answer within 3 s"},
      {"rfc2217://user@127.0.0.1:" + std::to_string(closed), 2, "holds more than a host and a port"},
      {"tcp://127.0.0.1:" + std::to_string(closed) + "/x", 2, "holds more than a host and a port"},
      {"rfc2217://127.0.0.1", 2, "names no port"},
      {"rfc2217://127.0.0.1:70000", 2, "is no port number"},
      {"telnet://127.0.0.1:23", 2, "unknown kind of network port"},
      {"tcp://bad_host:23", 2, "is no valid host name"},
  };
  for (const Case& c : cases) {
    const Result r = RunCli({"scan", "--port", c.url});
    EXPECT_EQ(r.code, c.code) << c.url << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.url << ": " << r.err;
  }
}

}  // namespace
}  // namespace ostrel::cli::testing
