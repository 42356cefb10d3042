// The simulated panel (tools/qvsim) and the C++ codecs were written apart so that each checks
// the other: here the simulator's checksums, request parsing, replies and line faults are held
// against what the panel and Modbus codecs make of them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "modbus/crc.h"
#include "modbus/frames.h"
#include "modbus/reply.h"
#include "panel/TFP.h"
#include "tests/panel/fake_panel.h"

using namespace ostrel;
using panel::TFP;
using panel::testing::bytes;

namespace {

std::string hex(const std::string& s) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out.empty() ? "-" : out;
}

std::string unhex(const std::string& h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

// The simulator's answers to the question lines, one each, from tests/tools/qvsim_frames.py.
std::vector<std::string> ask(const std::vector<std::string>& questions) {
  const char* src = std::getenv("OSTREL_SOURCE_DIR");
  if (!src) return {};
  char path[] = "/tmp/qvsim-questions-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  ::close(fd);
  {
    std::ofstream f(path);
    for (const auto& q : questions) f << q << '\n';
  }
  const std::string cmd = std::string("/usr/bin/python3 -B ") + src + "/tests/tools/qvsim_frames.py <" + path;
  std::vector<std::string> answers;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char line[8192];
    while (std::fgets(line, sizeof line, p)) {
      std::string s(line);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
      answers.push_back(s);
    }
    pclose(p);
  }
  std::remove(path);
  return answers;
}

std::string requestLine(uint8_t code, const std::string& payload) {
  panel::testing::FakeView view;
  return TFP::HexEncodeFrame(TFP(view).BuildRequest(code, static_cast<uint8_t>(payload.size()), payload));
}

}  // namespace

TEST(QvsimFrames, ChecksumsAgree) {
  const std::vector<std::string> table = {
      "",
      bytes({0x03, 0x12, 0x34, 0x5B, 0x48, 0, 3, 0, 0, 0}),
      std::string(257, '\xFF'),  // exactly 0xFFFF: becomes 0
      std::string(258, '\xFF'),  // past 0xFFFF: wraps
      std::string(600, '\x80'),
      bytes({0x02, 0x04, 0x02, 0x04}),
  };
  std::vector<std::string> q;
  for (const auto& s : table) q.push_back("checksum " + hex(s));
  const auto a = ask(q);
  ASSERT_EQ(a.size(), table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    char want[5];
    std::snprintf(want, sizeof want, "%04X", TFP::Checksum(table[i], 0, table[i].size()));
    EXPECT_EQ(a[i], want) << "case " << i;
  }
}

TEST(QvsimFrames, TheSimulatorReadsTheCodecsRequests) {
  struct Case {
    uint8_t code;
    std::string payload;
  };
  const std::vector<Case> table = {
      {panel::kCodePanelInfo, bytes({0, 0, 0})},
      {panel::kCodeLoopInfo, bytes({1, 0, 0})},
      {panel::kCodeDeviceInfo, bytes({1, 0xFF, 0})},
      {panel::kCodeDeviceInfo, bytes({0x02, 0x04, 0x00})},  // start and end values inside
      {panel::kCodeDeviceInfo, std::string(200, '\xFF')},   // a long payload, the sum wraps
  };
  std::vector<std::string> q;
  for (const auto& c : table) q.push_back("request " + hex(requestLine(c.code, c.payload)));
  // A request whose checksum is wrong is not one.
  std::string bad = TFP::HexDecodeFrame(requestLine(panel::kCodePanelInfo, bytes({0, 0, 0})));
  bad[bad.size() - 2] ^= 1;
  q.push_back("request " + hex(TFP::HexEncodeFrame(bad)));
  const auto a = ask(q);
  ASSERT_EQ(a.size(), table.size() + 1);
  for (size_t i = 0; i < table.size(); ++i) {
    char code[3];
    std::snprintf(code, sizeof code, "%02X", table[i].code);
    EXPECT_EQ(a[i], std::string(code) + " " + hex(table[i].payload)) << "case " << i;
  }
  EXPECT_EQ(a.back(), "none");
}

// The default panel's replies, plain and with each line fault, as the codec decodes them.
TEST(QvsimFrames, PanelRepliesAndTheirFaultsAsTheCodecSeesThem) {
  enum Decoded { Values, Refused, Short };
  struct Case {
    const char* fault;
    uint8_t code;
    std::string payload;
    TFP::FrameFault frame;  // what the scan's check finds
    bool fullChecksum;      // what the strict check finds
    Decoded decoded;
  };
  using F = TFP::FrameFault;
  const auto panelQ = bytes({0, 0, 0}), loop1 = bytes({0, 0, 0}), loop2 = bytes({1, 0, 0}), dev3 = bytes({0, 3, 0}),
             dev22 = bytes({1, 2, 0}), absent = bytes({0, 9, 0});
  const std::vector<Case> table = {
      {"none", panel::kCodePanelInfo, panelQ, F::None, true, Values},
      {"none", panel::kCodeLoopInfo, loop1, F::None, true, Values},
      {"none", panel::kCodeLoopInfo, loop2, F::None, true, Values},
      {"none", panel::kCodeDeviceInfo, dev3, F::None, true, Values},
      {"none", panel::kCodeDeviceInfo, dev22, F::None, true, Values},
      {"none", panel::kCodeDeviceInfo, absent, F::None, true, Refused},
      {"refuse", panel::kCodeLoopInfo, loop1, F::None, true, Refused},
      {"bad_checksum", panel::kCodeLoopInfo, loop1, F::Checksum, false, Values},
      // A flipped data bit keeps the checksum's high byte: only the strict check sees it.
      {"flip_bit", panel::kCodeDeviceInfo, dev3, F::None, false, Values},
      {"flip_bit", panel::kCodePanelInfo, panelQ, F::None, false, Values},
      {"short", panel::kCodePanelInfo, panelQ, F::None, true, Short},
      {"short", panel::kCodeDeviceInfo, dev3, F::None, true, Short},
  };
  std::vector<std::string> q;
  for (const auto& c : table) q.push_back(std::string("panel ") + c.fault + " " + hex(requestLine(c.code, c.payload)));
  q.push_back("panel silent " + hex(requestLine(panel::kCodePanelInfo, panelQ)));
  const auto a = ask(q);
  ASSERT_EQ(a.size(), table.size() + 1);
  EXPECT_EQ(a.back(), "silent");

  for (size_t i = 0; i < table.size(); ++i) {
    const Case& c = table[i];
    SCOPED_TRACE(std::string(c.fault) + ", case " + std::to_string(i));
    const std::string line = unhex(a[i]);
    ASSERT_GE(line.size(), 2u);
    const std::string reply = TFP::HexDecodeFrame(line);
    ASSERT_GE(reply.size(), 12u);
    EXPECT_EQ(TFP::HexEncodeFrame(reply), line);  // uppercase hex between the start and end bytes
    EXPECT_EQ(TFP::ReplyFrameFault(reply), c.frame);
    EXPECT_EQ(TFP::FullChecksumOk(reply), c.fullChecksum);
    EXPECT_EQ(static_cast<uint8_t>(reply[5]), c.code);
    EXPECT_EQ(reply[8], c.decoded == Refused ? 1 : 0);

    panel::testing::FakeView view;
    TFP fp(view);
    bool loopsHaveDevices = false;
    const bool took = c.code == panel::kCodePanelInfo  ? fp.DecodePanelInfo(reply).has_value()
                      : c.code == panel::kCodeLoopInfo ? fp.DecodeLoopInfo(reply, loopsHaveDevices).has_value()
                                                       : fp.DecodeDevice(reply, c.payload[0]);
    EXPECT_EQ(took, c.decoded == Values);
    if (c.decoded != Values || c.fault != std::string("none")) continue;
    // The values of tools/qvsim/default.json.
    if (c.code == panel::kCodePanelInfo) {
      const auto v = TFP::PanelValuesOf(reply);
      EXPECT_EQ(v.loops, 2u);
      EXPECT_EQ(v.zones, 8u);
      EXPECT_EQ(v.modules[0], 1u);
      EXPECT_EQ(v.modules[2], 1u);
    } else if (c.code == panel::kCodeLoopInfo) {
      const auto v = TFP::LoopValuesOf(reply);
      const bool first = c.payload[0] == 0;
      EXPECT_EQ(v.devices, first ? 5u : 3u);
      EXPECT_EQ(v.maxMilliamps, first ? 500u : 350u);
      EXPECT_EQ(v.manualAddressing, first ? 0u : 1u);
    } else {
      const auto v = TFP::DeviceValuesOf(reply);
      const bool first = c.payload[0] == 0;
      EXPECT_EQ(v.address, first ? 3u : 2u);
      EXPECT_EQ(v.type, first ? 5u : 200u);
      EXPECT_EQ(v.zone, first ? 2u : 4u);
    }
  }
}

TEST(QvsimFrames, ModbusCrcsAgree) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::vector<std::string> table = {"", bytes({0x01, 0x04, 0x00, 0x00, 0x00, 0x0A}), all,
                                          std::string(300, '\xFF')};
  std::vector<std::string> q;
  for (const auto& s : table) q.push_back("crc " + hex(s));
  const auto a = ask(q);
  ASSERT_EQ(a.size(), table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const auto crc = modbus::ModbusCrc(table[i]);
    char want[5];
    std::snprintf(want, sizeof want, "%02X%02X", crc.high, crc.low);
    EXPECT_EQ(a[i], want) << "case " << i;
  }
}

// The master's requests to the simulated slave, and its replies as the master checks them.
TEST(QvsimFrames, ModbusRequestsAndRepliesAgree) {
  using K = modbus::ReplyCheck::Kind;
  enum Expect { Read, Echo, Silent };
  struct Case {
    std::string request;
    Expect expect;
    K kind;             // Read: what the reply check finds
    uint8_t exception;  // K::Exception: its code
    size_t registers;
  };
  std::string badCrc = modbus::BuildReadInputRegisters(1, 0, 8);
  badCrc.back() ^= 1;
  const std::vector<Case> table = {
      {modbus::BuildReadInputRegisters(1, 0, 8), Read, K::Registers, 0, 8},
      {modbus::BuildReadInputRegisters(1, 1, 125), Read, K::Registers, 0, 125},
      {modbus::BuildReadInputRegisters(1, 2299, 2), Read, K::Exception, 2, 0},  // past the last
      {modbus::BuildReadInputRegisters(1, 0, 126), Read, K::Exception, 3, 0},   // too many
      {modbus::BuildReadHoldingRegisters(1, 1, 5), Read, K::Registers, 0, 5},
      {modbus::BuildReadHoldingRegisters(1, 6, 1), Read, K::Exception, 2, 0},
      {modbus::BuildWriteSingleRegister(1, 1, 0x12, 0x34), Echo, K::Registers, 0, 0},
      {modbus::BuildWriteMultipleRegisters(1, 0x8011, {1, 2, 3}), Echo, K::Registers, 0, 0},
      {modbus::BuildWriteSingleRegister(1, 9, 0, 1), Read, K::Exception, 2, 0},
      {modbus::BuildReadInputRegisters(2, 0, 8), Silent, K::Registers, 0, 0},  // another slave
      {badCrc, Silent, K::Registers, 0, 0},
  };
  std::vector<std::string> q;
  for (const auto& c : table) q.push_back("modbus " + hex(c.request));
  const auto a = ask(q);
  ASSERT_EQ(a.size(), table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const Case& c = table[i];
    SCOPED_TRACE("case " + std::to_string(i) + ", reply " + a[i]);
    if (c.expect == Silent) {
      EXPECT_EQ(a[i], "none");
      continue;
    }
    const std::string reply = unhex(a[i]);
    if (c.expect == Echo) {
      EXPECT_TRUE(modbus::WriteEchoConfirms(c.request, reply));
      continue;
    }
    const auto check = modbus::CheckReadReply(reply);
    EXPECT_EQ(check.kind, c.kind);
    if (c.kind == K::Exception) {
      EXPECT_EQ(check.exceptionCode, c.exception);
    }
    if (c.kind != K::Registers) continue;
    EXPECT_EQ(check.registers.size(), c.registers);
    EXPECT_TRUE(modbus::ReadReplyMatches(c.request, reply));
  }
}
