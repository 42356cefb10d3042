// ostrel-cli against the simulated panel: scan (CSV, JSON, partial output
// when the panel stops answering, Ctrl+C), send, and a busy port.
#include <gtest/gtest.h>
#include <sys/file.h>

#include "common/Text.h"
#include "common/cp1251.h"
#include "common/hexdump.h"
#include "core/Csv.h"
#include "panel/TFP.h"
#include "peers.h"

namespace ostrel::cli::testing {
namespace {

// default.json of the simulator: loop 1 reports 5 devices (1..4 are read),
// loop 2 reports 3 (1..2 are read).
const std::vector<std::string> kFirstRow{"Loop 1, 1", "156", "1=ZR 401", "1",  "2",          "0",
                                         "Нет ветви", "1",   "Вкл.",     "00", "Input reg 1"};

TEST(CliScan, WritesTheDeviceRowsInTheWindowsCsvFormat) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const std::string file = panel.dir + "/devices.csv";
  const Result r = RunCli({"scan", "--port", "COM1", "-o", file});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("scan complete: 2 loops, 6 device rows"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("panel: Контури 2, Силов вкл., Зони 8"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.find('\r'), std::string::npos);  // no progress bar off a terminal

  const std::string bytes = ReadFile(file);
  const CsvLoadResult loaded = LoadCsv(bytes);
  ASSERT_EQ(loaded.rows.size(), 6u);
  EXPECT_FALSE(loaded.tooMany);
  EXPECT_EQ(loaded.rows[0], kFirstRow);
  EXPECT_EQ(loaded.rows[5][0], "Loop 2, 2");
  // Windows-1251 on disk, every field followed by ';', CR LF after every line.
  EXPECT_EQ(bytes.substr(0, bytes.find("\r\n") + 2),
            utf8ToCp1251("Loop 1, 1;156;1=ZR 401;1;2;0;Нет ветви;1;Вкл.;00;Input reg 1;\r\n"));
  EXPECT_EQ(Lines(bytes, "\r\n").size(), 6u);

  // Without -o the same bytes go to standard output.
  const Result again = RunCli({"scan", "--port", "COM1", "--quiet"});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(again.out, bytes);
  EXPECT_EQ(again.err, "");
  const Result utf8 = RunCli({"scan", "--port", "COM1", "--quiet", "--utf8"});
  EXPECT_EQ(utf8.out, cp1251ToUtf8(bytes));
}

TEST(CliScan, ShowsAProgressBarOnATerminalOnly) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const Result r = RunCliOnTerminal({"scan", "--port", "COM1"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("\rscan: panel information, 0:00"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\rscan [###.................] device 1 of 6, loop 1, 0:00"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("device 5 of 6, loop 2"), std::string::npos);
  // The bar is wiped before the notes that follow it.
  EXPECT_NE(r.err.find("\r\x1b[Kostrel-cli: panel: "), std::string::npos);

  // On a narrow terminal every update stays within the width (one column left free), so each
  // is drawn over the last instead of wrapping onto a new line.
  const Result narrow = RunCliOnTerminal({"scan", "--port", "COM1"}, 40);
  ASSERT_EQ(narrow.code, 0) << narrow.err;
  size_t updates = 0;
  for (size_t at = 0; (at = narrow.err.find('\r', at)) != std::string::npos; ++at) {
    const size_t end = narrow.err.find_first_of("\r\n\x1b", at + 1);
    EXPECT_LE(Utf8Length(narrow.err.substr(at + 1, end - at - 1)), 39u) << narrow.err.substr(at + 1, end - at - 1);
    ++updates;
  }
  EXPECT_GT(updates, 6u);

  const Result quiet = RunCliOnTerminal({"scan", "--port", "COM1", "-q"});
  EXPECT_EQ(quiet.code, 0);
  EXPECT_EQ(quiet.err, "");
}

TEST(CliScan, JsonHoldsPanelLoopsAndDevices) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const Result r = RunCli({"scan", "--port", "COM1", "--json", "-q"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\"panel\": [\"CAN вкл., Модул 1, Модул 3,\", \"Контури 2, Силов вкл., Зони 8\""),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("{\"loop\": \"Loop 2\", \"devices\": \"3\", \"max_ma\": \"350\""), std::string::npos);
  EXPECT_NE(r.out.find("\"type\": \"200=ZR 409\""), std::string::npos);
  EXPECT_NE(r.out.find("\"complete\": true"), std::string::npos);
  size_t devices = 0;
  for (size_t at = 0; (at = r.out.find("\"device\": ", at)) != std::string::npos; ++at) ++devices;
  EXPECT_EQ(devices, 6u);
}

TEST(CliScan, APanelThatStopsAnsweringLeavesTheRowsReadAndExitCode1) {
  PanelPeer panel({"--silent", "device:0:3"});
  ASSERT_TRUE(panel.ready);
  const std::string file = panel.dir + "/partial.csv";
  const Result r = RunCli({"scan", "--port", "COM1", "-o", file, "--timeout", "300"});
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find("error: the panel did not answer within 300 ms (device 3 of loop 1); 2 device rows written"),
            std::string::npos)
      << r.err;
  const CsvLoadResult loaded = LoadCsv(ReadFile(file));
  ASSERT_EQ(loaded.rows.size(), 2u);
  EXPECT_EQ(loaded.rows[1][0], "Loop 1, 2");

  const Result json = RunCli({"scan", "--port", "COM1", "--json", "-q", "--timeout", "300"});
  EXPECT_EQ(json.code, 1);
  EXPECT_NE(json.out.find("\"complete\": false"), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"device\": \"Loop 1, 2\""), std::string::npos);
}

TEST(CliScan, RefusedRepliesAreReportedAndTheScanGoesOn) {
  PanelPeer panel({"--refuse", "device:1:1"});
  ASSERT_TRUE(panel.ready);
  const Result r = RunCli({"scan", "--port", "COM1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("ostrel-cli: device 1 of loop 2: the panel refused the request"), std::string::npos) << r.err;
  EXPECT_EQ(Lines(r.out, "\r\n").size(), 5u);  // every device but the refused one
}

TEST(CliScan, EachFailedReplyCountsOnceAndTheSummaryNamesIt) {
  struct Case {
    std::vector<std::string> faults;
    std::string summary;
    size_t rows;
  };
  const std::vector<Case> cases{
      {{"--refuse", "device:1:1", "--bad-checksum", "device:0:3"},
       "the panel refused 1 and garbled 1 of 9 replies: device 3 of loop 1 (bad checksum), device 1 of loop 2 "
       "(refused)",
       4},
      {{"--refuse", "device"},
       "the panel refused 6 of 9 replies: device 1 of loop 1 (refused), device 2 of loop 1 (refused), device 3 of "
       "loop 1 (refused), device 4 of loop 1 (refused) and 2 more",
       0},
      {{"--short", "loop:1"}, "the panel garbled 1 of 7 replies: loop 2 information (too short)", 4},
  };
  for (const auto& c : cases) {
    PanelPeer panel(c.faults);
    ASSERT_TRUE(panel.ready);
    const Result r = RunCli({"scan", "--port", "COM1", "-q"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ostrel-cli: error: " + c.summary + "; " + std::to_string(c.rows) + " device rows written\n");
    EXPECT_EQ(Lines(r.out, "\r\n").size(), c.rows);
  }
  // Without -q each failed reply has its line; with --json the document
  // holds every failure, as nothing else is shown with -q.
  PanelPeer panel({"--refuse", "device:1:1", "--bad-checksum", "device:0:3"});
  ASSERT_TRUE(panel.ready);
  const Result r = RunCli({"scan", "--port", "COM1", "-o", panel.dir + "/o.csv"});
  EXPECT_NE(r.err.find("ostrel-cli: device 3 of loop 1: bad checksum in the reply\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("see the lines above"), std::string::npos);
  const Result json = RunCli({"scan", "--port", "COM1", "-q", "--json", "--retries", "2"});
  EXPECT_EQ(json.code, 1);
  EXPECT_NE(json.out.find("\"errors\": [\n    {\"request\": \"device\", \"loop\": 1, \"address\": 3, \"kind\": \"bad "
                          "checksum\", \"message\": \"device 3 of loop 1: bad checksum in the reply\"},\n    "
                          "{\"request\": \"device\", \"loop\": 2, \"address\": 1, \"kind\": \"refused\""),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"replies\": 9,\n  \"retries\": 2,\n  \"checksum_errors\": 1,"), std::string::npos);
}

TEST(CliScan, AFlippedDataBitIsReportedAndStrictChecksumDropsTheRow) {
  PanelPeer panel({"--flip-bit", "device:0:2"});
  ASSERT_TRUE(panel.ready);
  const Result kept = RunCli({"scan", "--port", "COM1", "-q"});
  EXPECT_EQ(kept.code, 0);
  EXPECT_EQ(kept.err,
            "ostrel-cli: warning: 1 of 9 replies have a wrong checksum low byte and were kept, as the window keeps "
            "them (--strict-checksum drops them): device 2 of loop 1\n");
  EXPECT_EQ(Lines(kept.out, "\r\n").size(), 6u);

  const Result json = RunCli({"scan", "--port", "COM1", "-q", "--json"});
  EXPECT_EQ(json.code, 0);
  size_t bad = 0;
  for (size_t at = 0; (at = json.out.find("\"checksum_ok\": false", at)) != std::string::npos; ++at) ++bad;
  EXPECT_EQ(bad, 1u);
  EXPECT_NE(json.out.find("\"modbus\": \"Input reg 2\", \"typed\": {\"loop\": 1, \"address\": 2"), std::string::npos);
  EXPECT_NE(json.out.find("\"checksum_errors\": 1,"), std::string::npos);

  const Result strict = RunCli({"scan", "--port", "COM1", "-q", "--strict-checksum"});
  EXPECT_EQ(strict.code, 1);
  EXPECT_EQ(strict.err,
            "ostrel-cli: error: the panel garbled 1 of 9 replies: device 2 of loop 1 (bad checksum low byte); 5 device "
            "rows written\n");
  EXPECT_EQ(Lines(strict.out, "\r\n").size(), 5u);
}

TEST(CliScan, RetriesAskAgainForALostReply) {
  const std::vector<std::string> faults{"--drop-once", "device:0:2", "--drop-once", "loop:1"};
  {
    PanelPeer panel(faults);
    ASSERT_TRUE(panel.ready);
    const Result once = RunCli({"scan", "--port", "COM1", "-q", "--timeout", "300"});
    EXPECT_EQ(once.code, 1);
    EXPECT_NE(once.err.find("did not answer within 300 ms (loop 2 information)"), std::string::npos) << once.err;
  }
  PanelPeer panel(faults);
  ASSERT_TRUE(panel.ready);
  const Result r = RunCli({"scan", "--port", "COM1", "--timeout", "300", "--retries", "1", "-o", panel.dir + "/o.csv"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("ostrel-cli: device 2 of loop 1: no reply within 300 ms, asking again (1 of 1)\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("scan complete: 2 loops, 6 device rows (2 requests asked again)"), std::string::npos);
  EXPECT_EQ(LoadCsv(ReadFile(panel.dir + "/o.csv")).rows.size(), 6u);
}

TEST(CliScan, CtrlCLeavesWholeLinesAndClosesThePort) {
  // Slow replies, so the scan is surely running when it is interrupted.
  PanelPeer panel({"--delay-ms", "150"});
  ASSERT_TRUE(panel.ready);
  const std::string file = panel.dir + "/interrupted.csv";
  Background cli({"scan", "--port", "COM1"}, file);
  ASSERT_TRUE(WaitFor([&] { return Lines(ReadFile(file), "\r\n").size() >= 1; }, std::chrono::seconds(20)));
  cli.signal(SIGINT);
  EXPECT_EQ(cli.wait(std::chrono::seconds(10)), 130);
  const std::string bytes = ReadFile(file);
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  const CsvLoadResult loaded = LoadCsv(bytes);
  EXPECT_LT(loaded.rows.size(), 6u);
  for (const auto& row : loaded.rows) EXPECT_EQ(row[10].rfind("Input reg ", 0), 0u);
  EXPECT_NE(cli.err().find("interrupted;"), std::string::npos) << cli.err();
  // The port was released: a new scan opens it.
  EXPECT_EQ(RunCli({"scan", "--port", "COM1", "-q", "-o", panel.dir + "/after.csv"}).code, 0);
}

TEST(CliPort, ABusyPortAndAMissingOneExitWith3) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const int holder = ::open(panel.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const Result busy = RunCli({"scan", "--port", "COM1"});
  ::close(holder);
  EXPECT_EQ(busy.code, 3);
  EXPECT_EQ(busy.err,
            "ostrel-cli: error: the serial port COM1 (" + panel.path + ") is busy: another program is using it\n");

  ASSERT_EQ(::symlink("/dev/pts/does-not-exist", (panel.dir + "/COM7").c_str()), 0);
  const Result missing = RunCli({"read", "--port", "COM7"});
  EXPECT_EQ(missing.code, 3);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
  EXPECT_EQ(Lines(missing.err).size(), 1u);
}

TEST(CliSend, PrintsTheReplyAsTheLogPanesHexDump) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  // The panel information request as it travels on the line.
  const std::string line =
      panel::TFP::HexEncodeFrame(std::string("\x02\x03\x12\x34\x5B\x48\x00\x03\x00\x00\x00\x00\xEF\x04", 14));
  std::string hex = hexDump(line);
  hex.pop_back();
  const Result r = RunCli({"send", "--port", "COM1", "--hex", hex, "-v"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("02 30 33 31 32 33 34 ", 0), 0u) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - 4), "04 \n");
  EXPECT_NE(r.err.find("SENT: 02 30 33 "), std::string::npos);

  const Result bad = RunCli({"send", "--port", "COM1", "--hex", "12 G4"});
  EXPECT_EQ(bad.code, 2);
  EXPECT_EQ(bad.err,
            "ostrel-cli: error: --hex: \"G4\" is not one byte; give each byte as one or two hex digits, separated by "
            "blanks\n");
  const Result silent = RunCli({"send", "--port", "COM1", "--ascii", "AT", "--wait", "200"});
  EXPECT_EQ(silent.code, 1);
  EXPECT_EQ(silent.err, "ostrel-cli: error: no reply from the panel within 200 ms\n");
}

TEST(CliSend, RequestIsFramedAsTheScanFramesItAndHexTakesLowerCase) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const Result framed = RunCli({"send", "--port", "COM1", "--request", "0x48", "--payload", "00 00 00", "-v"});
  ASSERT_EQ(framed.code, 0) << framed.err;
  EXPECT_EQ(framed.err, "SENT: 02 03 12 34 5B 48 00 03 00 00 00 00 EF 04 \n");
  EXPECT_EQ(framed.out.rfind("02 30 33 31 32 33 34 35 44 34 38 30 30 30 ", 0), 0u) << framed.out;  // 0x48's reply
  // The same frame as line bytes, in either case, gets the same reply.
  const std::string upper = "02 30 33 31 32 33 34 35 42 34 38 30 30 30 33 30 30 30 30 30 30 30 30 45 46 04";
  std::string lower = upper;
  lower.replace(lower.size() - 8, 5, "65 66");
  for (const std::string& hex : {upper, lower}) {
    const Result r = RunCli({"send", "--port", "COM1", "--hex", hex});
    EXPECT_EQ(r.code, 0) << hex << r.err;
    EXPECT_EQ(r.out, framed.out) << hex;
  }
}

TEST(CliSend, RefusesWhatCannotBeParsedWhole) {
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--hex", "023033"}, "--hex: \"023033\" is not one byte"},
      {{"--hex", "02 3O"}, "--hex: \"3O\" is not one byte"},
      {{"--request", "zz"}, "--request: \"zz\" is not a request code"},
      {{"--request", "0x148"}, "--request: \"0x148\" is not a request code"},
      {{"--request", "48", "--payload", "0000"}, "--payload: \"0000\" is not one byte"},
      {{"--hex", "02 04", "--payload", "00"}, "--payload goes with --request"},
      {{"--hex", "02 04", "--request", "48"}, "give exactly one of --hex, --ascii and --request"},
  };
  for (const auto& [options, message] : cases) {
    std::vector<std::string> argv{"send", "--port", "COM1", "--wait", "300"};
    argv.insert(argv.end(), options.begin(), options.end());
    const Result r = RunCli(argv);
    EXPECT_EQ(r.code, 2) << message;
    EXPECT_EQ(r.err.rfind("ostrel-cli: error: " + message, 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace ostrel::cli::testing
