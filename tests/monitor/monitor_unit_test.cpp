// The monitor's pure parts: its configuration, device states, queue and commands.
#include <gtest/gtest.h>

#include "cli/WritePlan.h"
#include "common/hexdump.h"
#include "monitor/CommandJson.h"
#include "monitor/Config.h"
#include "monitor/DeviceTable.h"
#include "monitor/OutQueue.h"

namespace ostrel::monitor {
namespace {

const std::string kBroker = "[broker]\nurl = mqtt://broker.example:1884\n";
const std::string kPanel = "[hall]\nmodbus_port = COM2\nregisters = 1-250, 1751-1760\n";

TEST(MonitorConfig, ReadsBrokerAndPanels) {
  const Config c =
      ParseConfig("/etc/m.conf", kBroker + "client_id = site1\ntopic_prefix = fire/site1\nqueue = 50\n" + kPanel +
                                     "period = 0.5\nslave = 3\nallow_commands = yes\n"
                                     "[annex]\nmodbus_port = tcp://10.0.0.5:4001\nregisters = 7\n"
                                     "panel_port = COM1\nscan_period = 600\n");
  EXPECT_EQ(c.broker.host, "broker.example");
  EXPECT_EQ(c.broker.port, 1884);
  EXPECT_FALSE(c.broker.tls);
  EXPECT_EQ(c.broker.queueLimit, 50u);
  EXPECT_EQ(c.prefix, "fire/site1");
  ASSERT_EQ(c.panels.size(), 2u);
  const PanelConfig& hall = c.panels[0];
  // 250 registers go out as two requests; the zones as a third.
  ASSERT_EQ(hall.registers.size(), 3u);
  EXPECT_EQ(hall.registers[0].count, 125);
  EXPECT_EQ(hall.registers[1].first, 126);
  EXPECT_EQ(hall.registers[2].first, 1751);
  EXPECT_EQ(hall.registers[2].count, 10);
  EXPECT_EQ(hall.period, std::chrono::milliseconds(500));
  EXPECT_TRUE(hall.allowCommands);
  EXPECT_EQ(hall.modbusLine.speed, 19200);
  EXPECT_FALSE(c.panels[1].allowCommands) << "commands are off unless asked for";
  EXPECT_EQ(c.panels[1].panelLine.speed, 2400);
  EXPECT_EQ(c.panels[1].scanPeriod, std::chrono::seconds(600));
}

TEST(MonitorConfig, BrokerUrls) {
  const struct {
    const char* url;
    bool tls;
    const char* host;
    int port;
  } cases[] = {{"mqtt://h", false, "h", 1883},
               {"mqtts://h", true, "h", 8883},
               {"mqtts://h:9000/", true, "h", 9000},
               {"mqtt://[::1]:1999", false, "::1", 1999}};
  for (const auto& k : cases) {
    const Config c = ParseConfig("m.conf", "[broker]\nurl = " + std::string(k.url) + "\n" + kPanel);
    EXPECT_EQ(c.broker.tls, k.tls) << k.url;
    EXPECT_EQ(c.broker.host, k.host) << k.url;
    EXPECT_EQ(c.broker.port, k.port) << k.url;
  }
}

TEST(MonitorConfig, BadConfigurationsNameFileLineAndReason) {
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {kPanel, "m.conf: no [broker] section"},
      {kBroker, "m.conf: no panel"},
      {"url = x\n" + kBroker + kPanel, "m.conf:1: entries before the first section"},
      {"[broker]\nurl = http://h\n" + kPanel, "m.conf:2: url must be mqtt://"},
      {"[broker]\nurl = mqtt://h:0\n" + kPanel, "m.conf:2: the broker's port must be 1 .. 65535"},
      {kBroker + "colour = red\n" + kPanel, "m.conf:3: unknown key 'colour' in [broker]"},
      {kBroker + "password_file = p\n" + kPanel, "m.conf:3: password_file needs user"},
      {kBroker + "user = u\npassword_file = /nonexistent/p\n" + kPanel, "m.conf:4: cannot read password_file"},
      {kBroker + "ca_file = ca.crt\n" + kPanel, "m.conf:3: ca_file needs an mqtts:// url"},
      {kBroker + "topic_prefix = a/#\n" + kPanel, "m.conf:3: topic_prefix must not hold"},
      {kBroker + "queue = 5\n" + kPanel, "m.conf:3: queue must be a whole number from 10"},
      {kBroker + "[hall]\nregisters = 1\n", "m.conf:3: [hall] needs modbus_port"},
      {kBroker + "[hall]\nmodbus_port = COM2\n", "m.conf:3: [hall] needs registers"},
      {kBroker + "[hall one]\nmodbus_port = COM2\nregisters = 1\n", "m.conf:3: a panel's name is one word"},
      {kBroker + kPanel + "slave = 0\n", "m.conf:6: slave must be a whole number from 1 to 247"},
      {kBroker + kPanel + "period = 0\n", "m.conf:6: period must be seconds from 0.1 to 3600"},
      {kBroker + kPanel + "period = 1s\n", "m.conf:6: period must be seconds"},
      {kBroker + "[hall]\nmodbus_port = COM2\nregisters = 9-3\n", "m.conf:5: registers takes FIRST-LAST"},
      {kBroker + kPanel + "allow_commands = sure\n", "m.conf:6: allow_commands takes yes or no"},
      {kBroker + kPanel + "modbus_parity = sometimes\n", "m.conf:6: modbus_parity takes none, even"},
      {kBroker + kPanel + "scan_period = 60\n", "m.conf:6: scan_period needs panel_port"},
      {kBroker + kPanel + "panel_port = COM2\n", "m.conf:3: [hall] names one port for Modbus and the panel link"},
      {kBroker + kPanel + kPanel, "m.conf:6: section [hall] is given twice"},
      {kBroker + kPanel + "period = 1\nperiod = 2\n", "m.conf:7: 'period' is given twice"},
      {kBroker + kPanel + "[annex]\nmodbus_port = COM2\nregisters = 1\n",
       "m.conf:6: [annex] and [hall] are both slave 1 on COM2"},
      {kBroker + kPanel + "[annex]\nmodbus_port = COM2\nslave = 2\nregisters = 1\nmodbus_speed = 9600\n",
       "m.conf:6: [annex] and [hall] share COM2 with other line settings"},
      {kBroker + kPanel + "[annex]\nmodbus_port = COM3\nregisters = 1\npanel_port = COM2\n",
       "m.conf:6: [annex] scans COM2, which [hall] uses too"},
      {kBroker + "[hall\n", "m.conf:3: a section line must end in ']'"},
      {kBroker + "just words\n", "m.conf:3: expected 'key = value' or '[section]'"},
  };
  for (const auto& k : cases) {
    try {
      ParseConfig("m.conf", k.text);
      ADD_FAILURE() << "taken: " << k.text;
    } catch (const ConfigError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(k.error, 0), 0u) << e.what() << "\nexpected: " << k.error;
    }
  }
}

modbus::RegisterBytes Word(uint8_t high, uint8_t low) { return {high, low}; }

TEST(MonitorDevices, FirstReadIsAStateAndEachChangeOneEvent) {
  DeviceTable t;
  // Device 1 of loop 1 on and in alarm at the start; device 2 of loop 2 on; the rest quiet.
  auto c = t.applyRegisters(1, {Word(0xC0, 0x00), Word(0x00, 0x80), Word(0, 0)});
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].key, (DeviceKey{1, 1}));
  EXPECT_TRUE(c[0].after.alarm());
  EXPECT_FALSE(c[0].alarmChanged) << "nothing was known before the first read";
  EXPECT_EQ(c[1].key, (DeviceKey{2, 2}));

  EXPECT_TRUE(t.applyRegisters(1, {Word(0xC0, 0x00), Word(0x00, 0x80), Word(0, 0)}).empty());

  const struct {
    std::vector<modbus::RegisterBytes> words;
    DeviceKey key;
    bool alarmChanged, faultChanged;
  } steps[] = {
      {{Word(0xC0, 0), Word(0, 0x80), Word(0xC0, 0)}, {1, 3}, true, false},   // device 3 appears in alarm
      {{Word(0xC0, 0), Word(0, 0x80), Word(0x84, 0)}, {1, 3}, true, true},    // alarm gone, fault comes
      {{Word(0xC0, 0), Word(0, 0x88), Word(0x84, 0)}, {2, 2}, false, false},  // disabled: a state, no event
      {{Word(0x80, 0), Word(0, 0x88), Word(0x84, 0)}, {1, 1}, true, false},   // the first alarm ends
  };
  for (const auto& s : steps) {
    c = t.applyRegisters(1, s.words);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].key, s.key);
    EXPECT_EQ(c[0].alarmChanged, s.alarmChanged);
    EXPECT_EQ(c[0].faultChanged, s.faultChanged);
  }
  EXPECT_TRUE(t.devices().at({2, 2}).disabled());
  // Zones are no devices.
  EXPECT_TRUE(t.applyRegisters(1751, {Word(0xFF, 0xFF)}).empty());
}

TEST(MonitorDevices, ScanAddsTypeZoneAndSwitchedOff) {
  DeviceTable t;
  t.applyRegisters(1, {Word(0x80, 0), Word(0, 0)});
  auto c = t.applyScan({{{1, 1}, {2, "ZR 402", 3, true}}, {{1, 2}, {1, "ZR 401", 4, false}}});
  ASSERT_EQ(c.size(), 2u);
  EXPECT_TRUE(c[0].after.on());
  EXPECT_EQ(c[0].after.scan->typeName, "ZR 402");
  EXPECT_TRUE(c[1].after.disabled()) << "switched off in the scan";
  EXPECT_FALSE(c[1].alarmChanged || c[1].faultChanged);
  // The same scan again changes nothing; an alarm on the scanned device is an event.
  EXPECT_TRUE(t.applyScan({{{1, 2}, {1, "ZR 401", 4, false}}}).empty());
  c = t.applyRegisters(1, {Word(0x80, 0), Word(0x40, 0)});
  ASSERT_EQ(c.size(), 1u);
  EXPECT_TRUE(c[0].alarmChanged);
}

TEST(MonitorQueue, DropsOldestCountsAndKeepsNewestState) {
  OutQueue q(4);
  for (int k = 1; k <= 6; ++k) q.push({"p/registers", std::to_string(k), false});
  EXPECT_EQ(q.takeDropped(), 2u);
  EXPECT_EQ(q.takeDropped(), 0u) << "counted once";
  EXPECT_EQ(q.pop()->payload, "3");
  // A state replaces the waiting one of its topic in its place; two messages in flight count.
  q.push({"p/device/1/1", "a", true});
  q.push({"p/device/1/1", "b", true}, 2);
  ASSERT_EQ(q.size(), 4u);
  // Waiting and in flight together stay within the bound: 4, 5 and 6 go.
  q.push({"p/event", "e", false}, 2);
  EXPECT_EQ(q.takeDropped(), 3u);
  // What was in flight goes back first, unless a newer state of its topic waits.
  q.putBack({{"p/registers", "x", false}, {"p/device/1/1", "old", true}});
  std::vector<std::string> order;
  while (auto m = q.pop()) order.push_back(m->payload);
  EXPECT_EQ(order, (std::vector<std::string>{"x", "b", "e"}));
}

TEST(MonitorCommands, JsonBecomesTheCliWriteAndItsFrame) {
  const struct {
    const char* json;
    const char* frame;  // hex of the request for slave 1
  } cases[] = {
      {R"({"write":"register","address":100,"value":5})", "01 06 00 64 00 05"},
      {R"({"write": "registers", "address": 100, "values": [59769, 17142]})", "01 10 00 64 00 02 04 E9 79 42 F6"},
      {R"({"id":"7","write":"command","command":"zone","panel":3,"target":17})", "01 06 00 01 31 11"},
      {R"({"write":"command","command":"general","beeper":true,"siren":false})", "01 06 00 01 00"},
      {R"({"write":"line","which":"modbus","baud":19200,"line_parity":"Even"})", "01 06 80 12 00 51"},
      {R"({"write":"address","new":9})", "01 06 80 11 00 09"},
  };
  for (const auto& k : cases) {
    const CommandWords w = CommandFromJson(k.json);
    const std::string frame = hexDump(cli::PlanWrite(w.words, 1).frame);
    EXPECT_EQ(frame.rfind(k.frame, 0), 0u) << k.json << " -> " << frame;
  }
  EXPECT_EQ(CommandFromJson(R"({"id":"7","write":"clock"})").id, "7");
}

TEST(MonitorCommands, RefusedShapesAndValues) {
  const char* bad[] = {"",
                       "[]",
                       "{\"write\":\"register\"",
                       R"({"address":100})",
                       R"({"write":"register","address":{"a":1}})",
                       R"({"write":"register","address":100,"value":5} x)",
                       R"({"write":"reboot"})",
                       R"({"write":"address","new":255})",
                       R"({"write":"register","address":100,"value":70000})",
                       R"({"write":"register","address":100,"value":5,"port":"/dev/ttyS0"})",
                       R"({"write":"command","command":"zone","slave":9})"};
  for (const char* json : bad) {
    EXPECT_ANY_THROW(cli::PlanWrite(CommandFromJson(json).words, 1)) << json;
  }
}

}  // namespace
}  // namespace ostrel::monitor
