// ostrel-cli against a real Modbus RTU slave (pymodbus): read-outs in each
// format, polling with time stamps, Ctrl+C, the slave's refusals and
// silence, and each write command as the slave records it.
#include <gtest/gtest.h>

#include <pty.h>

#include <ctime>
#include <regex>

#include "peers.h"

namespace ostrel::cli::testing {
namespace {

class CliModbus : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(slave.ready) << "the pymodbus slave did not start"; }
  SlavePeer slave;
};

// Input register i of the slave holds ((i & 0xFF) << 8) | ((3i + 1) & 0xFF).
TEST_F(CliModbus, ReadsRegistersWithTheirDecodeWords) {
  const Result r = RunCli({"read", "--port", "COM2", "--start", "1", "--count", "125", "-v"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 126u);
  EXPECT_EQ(lines[0], "Register  Value  High  Decode                                Low  Decode");
  // Register 1: 260, high 01, low 04 ("/Fault"); register 64: 16577, high 40 ("/Alarm"), low C1 ("ON/Alarm").
  EXPECT_EQ(lines[1], "       1    260  01                                          04   /Fault");
  EXPECT_EQ(lines[64], "      64  16577  40    /Alarm                                C1   ON/Alarm");
  EXPECT_NE(r.err.find("SENT:01 04 00 01 00 7D 61 EB \n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("QVMD:01 04 FA 01 04 "), std::string::npos);
}

TEST_F(CliModbus, PollsFiveReadOutsWithTimeStamps) {
  const Result r =
      RunCli({"read", "--port", "COM2", "--count", "3", "--every", "0.2", "--for", "1", "--format", "jsonl"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 5u) << r.out;
  const std::regex record(
      R"re(\{"time": "(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)", "slave": 1, "start": 1, "count": 3, "ok": true, "registers": \[\{"number": 1, "value": 260, "high": "01", "high_decode": "", "low": "04", "low_decode": "/Fault"\}, .*\]\})re");
  std::string previous;
  for (const auto& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, record)) << line;
    EXPECT_GT(m[1].str(), previous);  // ISO 8601 of one zone sorts by time
    previous = m[1].str();
  }

  const Result csv = RunCli({"read", "--port", "COM2", "--start", "10", "--count", "2", "--format", "csv"});
  ASSERT_EQ(csv.code, 0) << csv.err;
  const auto rows = Lines(csv.out, "\r\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], "time;result;10;10 high;10 low;11;11 high;11 low;10 value;11 value;");
  EXPECT_TRUE(std::regex_match(
      rows[1], std::regex(R"(\d{4}-\S+;ok;0A1F;/Disable;/No Link/Disable/Fault;0B22;/Disable;/AO;2591;2850;)")))
      << rows[1];
}

TEST_F(CliModbus, AFailedReadOutIsARecordAndPollingGoesOn) {
  // Registers 190..209 run past the slave's 200 input registers.
  const Result once = RunCli({"read", "--port", "COM2", "--start", "190", "--count", "20"});
  EXPECT_EQ(once.code, 1);
  EXPECT_EQ(once.err, "ostrel-cli: error: slave 1 refused the request: exception 2 ILLEGAL DATA ADDRESS\n");
  EXPECT_EQ(once.out, "");

  const Result poll = RunCli({"read", "--port", "COM2", "--start", "190", "--count", "20", "--every", "0.1", "--for",
                              "0.2", "--format", "csv", "-q"});
  EXPECT_EQ(poll.code, 1);
  const auto rows = Lines(poll.out, "\r\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_NE(rows[2].find(";slave 1 refused the request: exception 2 ILLEGAL DATA ADDRESS;"), std::string::npos);
  EXPECT_NE(poll.err.find("error: 2 read-outs failed (see their records)"), std::string::npos) << poll.err;
  const Result single = RunCli({"read", "--port", "COM2", "--start", "190", "--count", "20", "--every", "0.1", "--for",
                                "0.1", "--format", "csv", "-q"});
  EXPECT_NE(single.err.find("error: 1 read-out failed (see its record)"), std::string::npos) << single.err;

  // COM3 leads to a pseudo-terminal that nobody answers on.
  int master = -1, peer = -1;
  char name[64];
  ASSERT_EQ(openpty(&master, &peer, name, nullptr, nullptr), 0);
  ASSERT_EQ(::symlink(name, (slave.dir + "/COM3").c_str()), 0);
  const Result silent = RunCli({"read", "--port", "COM3", "--slave", "5", "--timeout", "200"});
  ::close(peer);
  ::close(master);
  EXPECT_EQ(silent.code, 1);
  EXPECT_EQ(silent.err, "ostrel-cli: error: no reply from slave 5 within 200 ms\n");
}

TEST_F(CliModbus, CtrlCDuringAPollLeavesWholeRecords) {
  const std::string file = slave.dir + "/poll.jsonl";
  Background cli({"read", "--port", "COM2", "--count", "125", "--every", "0.1", "--format", "jsonl"}, file);
  ASSERT_TRUE(WaitFor([&] { return Lines(ReadFile(file)).size() >= 3; }, std::chrono::seconds(20)));
  cli.signal(SIGINT);
  EXPECT_EQ(cli.wait(std::chrono::seconds(10)), 130);
  const std::string text = ReadFile(file);
  ASSERT_EQ(text.back(), '\n');
  for (const auto& line : Lines(text)) EXPECT_EQ(line.substr(line.size() - 3), "}]}") << line;
  // The port is free again.
  EXPECT_EQ(RunCli({"read", "--port", "COM2", "--count", "1"}).code, 0);
}

TEST_F(CliModbus, EachWriteCommandReachesTheSlave) {
  // A generous wait: a slave slowed by a loaded machine is not what this test looks at.
  Result r = RunCli({"write", "command", "--port", "COM2", "--timeout", "3000", "--command", "zone", "--panel", "3",
                     "--target", "17"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "slave 1 confirmed: command register 1 = 0x3111\n");
  EXPECT_EQ(slave.HoldingOnce(1, 0x3111)[1], 0x3111);

  r = RunCli({"write", "command", "--port", "COM2", "--timeout", "3000", "--command", "General write", "--beeper",
              "--reset-fire", "--fire2", "--fire2-time", "--siren", "--disable"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(slave.HoldingOnce(1, 0x081F)[1], 0x081F);

  const std::time_t before = std::time(nullptr);
  r = RunCli({"write", "clock", "--port", "COM2", "--timeout", "3000"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::tm tm{};
  localtime_r(&before, &tm);
  const int dayMonth = tm.tm_mday << 8 | (tm.tm_mon + 1);
  auto regs = slave.HoldingOnce(4, dayMonth);
  EXPECT_EQ(regs[4], dayMonth);
  EXPECT_EQ(regs[5], ((tm.tm_year + 1900) & 0xFF) << 8);
  EXPECT_EQ(regs[3] >> 8, tm.tm_hour);

  r = RunCli({"write", "line", "--port", "COM2", "--timeout", "3000", "--which", "modbus", "--baud", "19200",
              "--line-parity", "Even"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(slave.HoldingOnce(0x8012, 0x51)[0x8012], 0x51);
  r = RunCli({"write", "line", "--port", "COM2", "--timeout", "3000", "--which", "fp", "--baud", "57600",
              "--line-parity", "none"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(slave.HoldingOnce(0x8013, 0x72)[0x8013], 0x72);

  r = RunCli({"write", "address", "--port", "COM2", "--timeout", "3000", "--new", "9"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "slave 1 confirmed: slave address register 0x8011 = 9\n");
  EXPECT_EQ(slave.HoldingOnce(0x8011, 9)[0x8011], 9);
}

TEST_F(CliModbus, WritesAreRefusedAsTheWindowRefusesThem) {
  const std::map<std::vector<std::string>, std::string> refusals{
      {{"line", "--which", "modbus", "--baud", "115200", "--line-parity", "Even"}, "Wrong baud or parity selected..."},
      {{"address", "--new", "255"}, "Invalid new modbus address entered..."},
      {{"address", "--new", "0"}, "Invalid new modbus address entered..."},  // broadcast
      {{"address", "--new", "248"}, "Invalid new modbus address entered..."},
      {{"address", "--new", "x1"}, "Invalid new modbus address entered..."},
      {{"address"}, "Modbus address not entered"},
      {{"command", "--command", "zone", "--target", "252"},
       "--target must be a whole number from 1 to 251 (got '252')"},
      {{"command", "--command", "zone", "--siren"},
       "--beeper, --reset-fire, --fire2, --fire2-time and --siren belong to --command general"},
  };
  for (const auto& [words, message] : refusals) {
    std::vector<std::string> args{"write"};
    args.insert(args.end(), words.begin(), words.end());
    args.insert(args.end(), {"--port", "COM2"});
    const Result r = RunCli(args);
    EXPECT_EQ(r.code, 2) << words[0];
    EXPECT_EQ(r.err, "ostrel-cli: error: " + message + "\n");
  }
  // Nothing reached the slave.
  EXPECT_EQ(slave.HoldingOnce(0x8011, 0)[0x8011], 0);
  EXPECT_EQ(slave.HoldingOnce(0x8012, 0)[0x8012], 0);
}

}  // namespace
}  // namespace ostrel::cli::testing
