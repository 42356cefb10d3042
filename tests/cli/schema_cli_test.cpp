// The JSON that ostrel-cli writes against the schemas it installs: real
// scans of the simulated panel (whole, with failures, refused outright) and
// real read-outs of the pymodbus slave (good and failed records), checked
// with python3-jsonschema; and documents spoilt by hand, which must fail.
#include <gtest/gtest.h>

#include <fstream>

#include "peers.h"

namespace ostrel::cli::testing {
namespace {

const std::string kSchemas = std::string(OSTREL_SOURCE_DIR) + "/cli/schemas/";

// The checker's result for `text` written to `path`: exit 0 when it fits.
Result Validate(const std::string& schema, const std::string& path, const std::string& text, bool lines) {
  std::ofstream(path, std::ios::binary) << text;
  std::vector<std::string> argv{"/usr/bin/python3", std::string(OSTREL_SOURCE_DIR) + "/tests/cli/check_schema.py",
                                kSchemas + schema, path};
  if (lines) argv.push_back("--lines");
  return RunProgram(argv);
}

std::string replaceFirst(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
}

TEST(CliSchema, ScanDocumentsFitTheirSchema) {
  const std::vector<std::vector<std::string>> faults{
      {},
      {"--refuse", "device:1:1", "--bad-checksum", "device:0:3", "--flip-bit", "device:0:1", "--short", "loop:1"},
      {"--refuse", "panel"},
      {"--silent", "device:0:2"},
  };
  for (const auto& f : faults) {
    PanelPeer panel(f);
    ASSERT_TRUE(panel.ready);
    const Result scan = RunCli({"scan", "--port", "COM1", "--json", "-q", "--timeout", "300"});
    ASSERT_FALSE(scan.out.empty()) << scan.err;
    const Result check = Validate("scan.schema.json", panel.dir + "/scan.json", scan.out, false);
    EXPECT_EQ(check.code, 0) << check.err << scan.out;
  }
  // A typed number written as a string, or a required field missing, is caught.
  PanelPeer panel({});
  ASSERT_TRUE(panel.ready);
  const std::string good = RunCli({"scan", "--port", "COM1", "--json", "-q"}).out;
  for (const std::string& bad : {replaceFirst(good, "\"zone\": 1,", "\"zone\": \"1\","),
                                 replaceFirst(good, "\"checksum_ok\": true", "\"checksum\": true"),
                                 replaceFirst(good, "\"type_code\": 1,", "\"type_code\": 300,")}) {
    ASSERT_FALSE(bad.empty());
    EXPECT_EQ(Validate("scan.schema.json", panel.dir + "/bad.json", bad, false).code, 1) << bad;
  }
}

TEST(CliSchema, ReadRecordsFitTheirSchema) {
  SlavePeer slave;
  ASSERT_TRUE(slave.ready);
  const Result good =
      RunCli({"read", "--port", "COM2", "--count", "4", "--every", "0.2", "--for", "0.4", "--format", "jsonl"});
  ASSERT_EQ(good.code, 0) << good.err;
  // Registers past the slave's 200: a record with its error.
  const Result failed = RunCli({"read", "--port", "COM2", "--start", "190", "--count", "20", "--every", "0.2", "--for",
                                "0.2", "--format", "jsonl"});
  ASSERT_EQ(failed.code, 1) << failed.err;
  ASSERT_NE(failed.out.find("\"ok\": false"), std::string::npos);
  // Records of the polling's events and optional fields of later versions fit too.
  const std::string event = "{\"time\": \"2026-12-08T10:41:31.123+01:00\", \"event\": \"port lost\"}\n";
  const std::string later = replaceFirst(good.out, "\"low_decode\"", "\"typed\": 1, \"low_decode\"");
  const Result check =
      Validate("read-record.schema.json", slave.dir + "/read.jsonl", good.out + failed.out + event + later, true);
  EXPECT_EQ(check.code, 0) << check.err << good.out << failed.out;

  const std::string firstLine = good.out.substr(0, good.out.find('\n') + 1);
  for (const std::string& bad : {replaceFirst(firstLine, ", \"registers\"", ", \"regs\""),
                                 replaceFirst(firstLine, "\"value\": ", "\"value\": -"),
                                 replaceFirst(firstLine, "\"slave\": 1", "\"slave\": \"1\"")}) {
    ASSERT_FALSE(bad.empty());
    EXPECT_EQ(Validate("read-record.schema.json", slave.dir + "/bad.jsonl", bad, true).code, 1) << bad;
  }
}

}  // namespace
}  // namespace ostrel::cli::testing
