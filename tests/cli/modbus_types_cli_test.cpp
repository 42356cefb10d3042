// ostrel-cli against the pymodbus slave's holding registers: write register
// and registers as the slave records them, read-backs with function 3 as
// 16- and 32-bit values, retries of an unanswered read-out, and a poll that
// outlives three pulls of the adapter.
#include <gtest/gtest.h>

#include <pty.h>

#include <regex>

#include "peers.h"

namespace ostrel::cli::testing {
namespace {

class CliModbusTypes : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(slave.ready) << "the pymodbus slave did not start"; }
  SlavePeer slave{{"--holding", "100:100"}};
};

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// 123.456 is 0x42F6E979: its words swapped (CDAB) are 0xE979, 0x42F6.
TEST_F(CliModbusTypes, WrittenRegistersReadBackAsTypedValues) {
  Result r = RunCli({"write", "registers", "--port", "COM2", "100", "0xE979", "0x42F6", "65535", "0xFFFE"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "slave 1 confirmed: registers 100 .. 103 = 59769 (0xE979), 17142 (0x42F6), 65535 (0xFFFF), 65534 "
            "(0xFFFE)\n");
  auto regs = slave.HoldingOnce(103, 0xFFFE);
  EXPECT_EQ(regs[100], 0xE979);
  EXPECT_EQ(regs[101], 0x42F6);
  EXPECT_EQ(regs[102], 0xFFFF);

  // One register, counted from 1: register 105 is address 104.
  r = RunCli({"write", "register", "--port", "COM2", "--one-based", "105", "4660"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "slave 1 confirmed: register 105 = 4660 (0x1234)\n");
  EXPECT_EQ(slave.HoldingOnce(104, 0x1234)[104], 0x1234);

  r = RunCli({"read", "--port", "COM2", "--function", "3", "--start", "100", "--count", "2", "--type", "float32",
              "--order", "CDAB"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Register            Value  High  Decode                                Low  Decode\n"
            "     100          123.456  E9                                          79\n"
            "     101                   42                                          F6\n");

  const struct {
    std::vector<std::string> options;
    std::string values;  // the CSV's value fields
  } reads[] = {
      {{"--start", "100", "--count", "4", "--type", "float32", "--order", "CDAB"}, "123.456;nan;"},
      {{"--start", "100", "--count", "2", "--type", "float32"}, "-1.8833671e+25;"},  // ABCD: 0xE97942F6
      {{"--start", "102", "--count", "2", "--type", "int32"}, "-2;"},
      {{"--start", "102", "--count", "2", "--type", "uint32", "--order", "BADC"}, "4294967039;"},
      {{"--start", "103", "--count", "2", "--type", "int16"}, "-2;4660;"},
      {{"--start", "104", "--count", "1", "--type", "hex", "--one-based"}, "0xFFFE;"},  // address 103
      {{"--start", "104", "--count", "1"}, "4660;"},
  };
  for (const auto& read : reads) {
    std::vector<std::string> args{"read", "--port", "COM2", "--function", "3", "--format", "csv"};
    args.insert(args.end(), read.options.begin(), read.options.end());
    const Result got = RunCli(args);
    ASSERT_EQ(got.code, 0) << got.err;
    const auto rows = Lines(got.out, "\r\n");
    ASSERT_EQ(rows.size(), 2u) << got.out;
    EXPECT_EQ(rows[1].substr(rows[1].size() - read.values.size()), read.values) << rows[1];
  }

  r = RunCli({"read", "--port", "COM2", "--function", "3", "--start", "101", "--count", "2", "--one-based", "--type",
              "float32", "--order", "cdab", "--format", "jsonl"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"start\": 101, \"count\": 2, \"function\": 3, \"address\": 100, \"type\": \"float32\", "
                       "\"order\": \"CDAB\", \"ok\": true, \"registers\": [{\"number\": 101, \"value\": 59769, "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"values\": [{\"number\": 101, \"value\": 123.456}]}\n"), std::string::npos) << r.out;
}

TEST_F(CliModbusTypes, TheSlavesRefusalsAndSilence) {
  // The slave has no holding register 5000.
  Result r = RunCli({"write", "register", "--port", "COM2", "5000", "1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ostrel-cli: error: slave 1 refused the request: exception 2 ILLEGAL DATA ADDRESS\n");
  EXPECT_EQ(r.out, "");
  r = RunCli({"read", "--port", "COM2", "--function", "3", "--start", "5000", "--count", "1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "ostrel-cli: error: slave 1 refused the request: exception 2 ILLEGAL DATA ADDRESS\n");

  // A refusal is an answer: it is not asked again. Silence is, up to --retries times.
  r = RunCli({"read", "--port", "COM2", "--function", "3", "--start", "5000", "--count", "1", "--retries", "2"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Count(r.err, "asking again"), 0u) << r.err;

  int master = -1, peer = -1;
  char name[64];
  ASSERT_EQ(openpty(&master, &peer, name, nullptr, nullptr), 0);
  ASSERT_EQ(::symlink(name, (slave.dir + "/COM3").c_str()), 0);
  r = RunCli({"read", "--port", "COM3", "--timeout", "100", "--retries", "2", "-v"});
  const Result quiet = RunCli({"read", "--port", "COM3", "--timeout", "100", "--retries", "1", "-q"});
  ::close(peer);
  ::close(master);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Count(r.err, "SENT:01 04 00 01 00 7D"), 3u) << r.err;
  EXPECT_NE(r.err.find("ostrel-cli: no reply from slave 1 within 100 ms; asking again (1 of 2)\n"), std::string::npos);
  EXPECT_NE(r.err.find("ostrel-cli: no reply from slave 1 within 100 ms; asking again (2 of 2)\n"), std::string::npos);
  EXPECT_EQ(quiet.code, 1);
  EXPECT_EQ(quiet.err, "ostrel-cli: error: no reply from slave 1 within 100 ms\n");
}

// Each pull of the adapter is a "port lost" record, each return a "port back"
// record, and the poll goes on reading after each.
TEST_F(CliModbusTypes, APollWithReconnectOutlivesThreeLostPorts) {
  const std::string file = slave.dir + "/poll.jsonl";
  Background cli({"read", "--port", "COM2", "--count", "2", "--every", "0.2", "--reconnect", "--format", "jsonl"},
                 file);
  const auto okAfter = [&](const std::string& marker, size_t nth) {
    const std::string text = ReadFile(file);
    size_t at = 0;
    for (size_t k = 0; k < nth; ++k) {
      at = text.find(marker, at);
      if (at == std::string::npos) return false;
      ++at;
    }
    return text.find("\"ok\": true", at) != std::string::npos;
  };
  ASSERT_TRUE(WaitFor([&] { return okAfter("{", 1); }, std::chrono::seconds(10)));
  for (size_t loss = 1; loss <= 3; ++loss) {
    slave.Stop();
    ASSERT_TRUE(
        WaitFor([&] { return Count(ReadFile(file), "\"event\": \"port lost\"") == loss; }, std::chrono::seconds(10)))
        << loss << "\n"
        << ReadFile(file);
    ASSERT_TRUE(slave.Start()) << loss;
    ASSERT_TRUE(WaitFor([&] { return okAfter("\"event\": \"port back\"", loss); }, std::chrono::seconds(20)))
        << loss << "\n"
        << ReadFile(file) << cli.err();
  }
  cli.signal(SIGINT);
  EXPECT_EQ(cli.wait(std::chrono::seconds(10)), 130);

  const std::regex lostRecord(
      R"re(\{"time": "[-0-9T:.+]+", "event": "port lost", "port": "COM2", "error": "the serial port COM2 \(.*\) is no longer available"\})re");
  const std::regex backRecord(R"re(\{"time": "[-0-9T:.+]+", "event": "port back", "port": "COM2"\})re");
  size_t lost = 0, back = 0;
  for (const auto& line : Lines(ReadFile(file))) {
    if (line.find("\"event\"") == std::string::npos) {
      EXPECT_EQ(line.substr(line.size() - 3), "}]}") << line;  // a whole read-out record
    } else if (std::regex_match(line, lostRecord)) {
      ++lost;
    } else {
      EXPECT_TRUE(std::regex_match(line, backRecord)) << line;
      ++back;
      EXPECT_EQ(back, lost);  // each return follows its loss
    }
  }
  EXPECT_EQ(lost, 3u);
  EXPECT_EQ(back, 3u);
}

// Without --reconnect a lost port ends the run as before; the table and CSV
// show a loss as their own kind of record.
TEST_F(CliModbusTypes, LostPortRecordsInTableAndCsv) {
  const std::string plain = slave.dir + "/plain.txt";
  {
    Background cli({"read", "--port", "COM2", "--count", "1", "--every", "0.2"}, plain);
    ASSERT_TRUE(WaitFor([&] { return Count(ReadFile(plain), "Register") >= 1; }, std::chrono::seconds(10)));
    slave.Stop();
    EXPECT_EQ(cli.wait(std::chrono::seconds(10)), 3);
    EXPECT_NE(cli.err().find("is no longer available"), std::string::npos) << cli.err();
  }
  ASSERT_TRUE(slave.Start());
  for (const char* format : {"table", "csv"}) {
    const std::string file = slave.dir + "/poll." + format;
    Background cli(
        {"read", "--port", "COM2", "--count", "1", "--every", "0.2", "--reconnect", "--format", format, "-q"}, file);
    ASSERT_TRUE(WaitFor([&] { return ReadFile(file).find("260") != std::string::npos; }, std::chrono::seconds(10)));
    slave.Stop();
    ASSERT_TRUE(
        WaitFor([&] { return ReadFile(file).find("port lost") != std::string::npos; }, std::chrono::seconds(10)));
    ASSERT_TRUE(slave.Start());
    ASSERT_TRUE(
        WaitFor([&] { return ReadFile(file).find("port back") != std::string::npos; }, std::chrono::seconds(20)));
    cli.signal(SIGINT);
    EXPECT_EQ(cli.wait(std::chrono::seconds(10)), 130);
    const std::string text = ReadFile(file);
    if (std::string(format) == "table") {
      EXPECT_TRUE(std::regex_search(
          text,
          std::regex(R"(\n# \S+ port lost: the serial port COM2 .* is no longer available\n\n# \S+ port back\n\n)")))
          << text;
    } else {
      EXPECT_TRUE(std::regex_search(
          text,
          std::regex(R"(\r\n\S+;port lost: the serial port COM2 .* is no longer available;\r\n\S+;port back;\r\n)")))
          << text;
    }
  }
}

}  // namespace
}  // namespace ostrel::cli::testing
