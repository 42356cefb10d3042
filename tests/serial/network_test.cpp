// The pure parts of network ports: URLs, the telnet stream both ways, and the negotiation's
// answers.
#include <gtest/gtest.h>

#include "serial/NetworkAddress.h"
#include "serial/Telnet.h"

namespace ostrel::serial {
namespace {

TEST(NetworkUrl, TakesOnlySchemeHostAndPort) {
  struct Case {
    std::string url;
    bool ok;
    std::string normal;  // url() of the result, or a word of the refusal
  };
  const Case cases[] = {
      {"rfc2217://10.0.4.7:4001", true, "rfc2217://10.0.4.7:4001"},
      {"RFC2217://panel-3.site.example:4001", true, "rfc2217://panel-3.site.example:4001"},
      {"tcp://[fe80::1]:23", true, "tcp://[fe80::1]:23"},
      {"modbus-tcp://gw", true, "modbus-tcp://gw:502"},
      {"modbus-tcp://gw:1502", true, "modbus-tcp://gw:1502"},
      {"rfc2217://host", false, "names no port"},
      {"rfc2217://host:", false, "is no port number"},
      {"rfc2217://host:0", false, "is no port number"},
      {"rfc2217://host:65536", false, "is no port number"},
      {"rfc2217://host:12ab", false, "is no port number"},
      {"rfc2217://user@host:1", false, "more than a host and a port"},
      {"rfc2217://host:1/", false, "more than a host and a port"},
      {"rfc2217://host:1?x=1", false, "more than a host and a port"},
      {"rfc2217://host:1#f", false, "more than a host and a port"},
      {"rfc2217://:1", false, "names no host"},
      {"rfc2217://-host:1", false, "no valid host name"},
      {"rfc2217://ho st:1", false, "no valid host name"},
      {"rfc2217://a..b:1", false, "no valid host name"},
      {"tcp://[fe80::1:23", false, "no closing"},
      {"tcp://[zz::1]:23", false, "no IPv6 address"},
      {"tcp://[::1]x:23", false, "only ':port'"},
      {"http://host:80", false, "unknown kind"},
  };
  for (const Case& c : cases) {
    std::string why;
    const auto a = ParseNetworkUrl(c.url, why);
    ASSERT_EQ(a.has_value(), c.ok) << c.url << ": " << why;
    if (c.ok)
      EXPECT_EQ(a->url(), c.normal);
    else
      EXPECT_NE(why.find(c.normal), std::string::npos) << c.url << ": " << why;
  }
  EXPECT_TRUE(IsNetworkUrl("tcp://x:1"));
  EXPECT_FALSE(IsNetworkUrl("/dev/ttyUSB0"));
  EXPECT_FALSE(IsNetworkUrl("COM3"));
}

std::string bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s += static_cast<char>(b);
  return s;
}

TEST(TelnetStream, EveryByteValueSurvivesBothWays) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  all += bytes({255, 255, 255});
  const std::string wire = telnet::EscapeData(reinterpret_cast<const uint8_t*>(all.data()), all.size());
  EXPECT_EQ(wire.size(), all.size() + 4);
  // Fed one byte at a time: an IAC pair cut between two reads still gives one 255.
  telnet::Decoder d;
  telnet::Received r;
  for (char c : wire) d.feed(reinterpret_cast<const uint8_t*>(&c), 1, r);
  EXPECT_EQ(r.data, all);
  EXPECT_TRUE(r.options.empty());
  EXPECT_TRUE(r.subnegotiations.empty());
}

TEST(TelnetStream, SortsDataNegotiationsAndNotifications) {
  struct Case {
    std::string wire;
    std::string data;
    size_t options;
    std::vector<std::string> subs;
  };
  const Case cases[] = {
      {bytes({'a', 255, 253, 44, 'b'}), "ab", 1, {}},
      // A rate of 255 * 256 + 255 carries two doubled IACs inside the sub-negotiation.
      {bytes({255, 250, 44, 101, 0, 0, 255, 255, 255, 255, 255, 240, 'x'}), "x", 0, {bytes({44, 101, 0, 0, 255, 255})}},
      {bytes({255, 250, 44, 106, 0x10, 255, 240}), "", 0, {bytes({44, 106, 0x10})}},
      {bytes({255, 241, 'n', 255, 249}), "n", 0, {}},  // NOP and GA carry nothing
  };
  for (const Case& c : cases) {
    telnet::Decoder d;
    telnet::Received r;
    d.feed(reinterpret_cast<const uint8_t*>(c.wire.data()), c.wire.size(), r);
    EXPECT_EQ(r.data, c.data);
    EXPECT_EQ(r.options.size(), c.options);
    EXPECT_EQ(r.subnegotiations, c.subs);
  }
  EXPECT_EQ(telnet::ComPortCommand(telnet::cpo::SetBaudRate, telnet::RateValue(0x0000FFFF)),
            bytes({255, 250, 44, 1, 0, 0, 255, 255, 255, 255, 255, 240}));
}

TEST(TelnetNegotiation, AnswersOnlyWhatChangesAndRefusesTheRest) {
  using namespace telnet;
  struct Step {
    uint8_t verb, option;
    std::string answer;
  };
  const Step steps[] = {
      {DO, kComPort, ""},           // our offer accepted: no answer
      {DO, kComPort, ""},           // again: still nothing, no loop
      {WILL, kBinary, ""},          // our request granted
      {DO, 1, Command(WONT, 1)},    // echo: refused
      {WILL, 1, Command(DONT, 1)},  // the server's echo: refused
      {DO, kBinary, ""},            // our offer accepted
      {DONT, kBinary, Command(WONT, kBinary)},
      {DO, kBinary, Command(WILL, kBinary)},
      {WONT, kBinary, Command(DONT, kBinary)},
  };
  Negotiation n;
  EXPECT_FALSE(n.comPortAccepted());
  for (const Step& s : steps) EXPECT_EQ(n.answer(s.verb, s.option), s.answer) << int(s.verb) << " " << int(s.option);
  EXPECT_TRUE(n.comPortAccepted());
  Negotiation refused;
  EXPECT_EQ(refused.answer(DONT, kComPort), "");
  EXPECT_TRUE(refused.comPortRefused());
}

}  // namespace
}  // namespace ostrel::serial
