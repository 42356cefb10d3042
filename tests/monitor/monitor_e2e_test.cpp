// ostrel-monitor against a real mosquitto and the pymodbus slave, read back with mosquitto_sub.
#include <gtest/gtest.h>

#include <filesystem>

#include "peers.h"

namespace ostrel::monitor::testing {
namespace {

// Registers 0..5: device 1 of loop 1 on and in alarm, device 2 of loop 2 on, nothing else.
const std::vector<int> kQuiet{0, 0xC000, 0x0080, 0, 0, 0};
// Device 3 of loop 1 raises an alarm.
const std::vector<int> kAlarm{0, 0xC000, 0x0080, 0xC000, 0, 0};
// Device 3 of loop 1 reports a fault instead.
const std::vector<int> kFault{0, 0xC000, 0x0080, 0x8400, 0, 0};

// The payloads fit their installed schema (Python's jsonschema, as for ostrel-cli's records).
::testing::AssertionResult Fit(const std::string& dir, const std::string& schema, std::vector<std::string> payloads,
                               bool bareWords = false) {
  if (payloads.empty()) return ::testing::AssertionFailure() << "no " << schema << " payload";
  std::string lines;
  for (const auto& p : payloads) lines += (bareWords ? "\"" + p + "\"" : p) + "\n";
  WriteFile(dir + "/payloads.jsonl", lines);
  Process check({"/usr/bin/python3", std::string(OSTREL_SOURCE_DIR) + "/tests/cli/check_schema.py", "--lines",
                 std::string(OSTREL_SOURCE_DIR) + "/monitor/schemas/" + schema, dir + "/payloads.jsonl"},
                dir + "/check.log");
  if (check.stop(0, std::chrono::seconds(20)) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << schema << ": " << ReadFile(dir + "/check.log");
}

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = TempDir(); }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  std::string config(int brokerPort, const std::string& broker, const std::string& panels) const {
    return "[broker]\nurl = mqtt://127.0.0.1:" + std::to_string(brokerPort) + "\nclient_id = t\ntopic_prefix = site\n" +
           broker + "\n" + panels;
  }
  std::string panel(const std::string& name, const std::string& extra = "", const std::string& where = "") const {
    return "[" + name + "]\nmodbus_port = " + (where.empty() ? dir : where) +
           "/COM2\nmodbus_speed = 9600\nregisters = 1-5\nperiod = 0.1\n" + extra + "\n";
  }

  std::string dir;
};

TEST_F(MonitorTest, StatesRetainedAndOneEventPerAlarmOrFault) {
  Mosquitto broker(dir);
  Slave slave(dir, kQuiet);
  ASSERT_TRUE(broker.ready && slave.ready);
  Subscriber sub(dir + "/sub.log", broker.port, "site/#");
  Monitor monitor(dir, config(broker.port, "home_assistant = yes", panel("hall")));

  ASSERT_TRUE(sub.waitFor("site/hall/status", "online")) << monitor.log();
  ASSERT_TRUE(sub.waitFor("site/hall/device/1/1", "\"alarm\":true"));
  ASSERT_TRUE(sub.waitFor("site/hall/registers", "\"snapshot\":true"));
  EXPECT_TRUE(sub.messages("site/hall/event").empty()) << "the first read-out is a state, not an event";

  ASSERT_TRUE(slave.setInputs(kAlarm));
  ASSERT_TRUE(sub.waitFor("site/hall/event", "\"alarm\":true"));
  const size_t registers = sub.messages("site/hall/registers").size();
  ASSERT_TRUE(slave.setInputs(kFault));
  ASSERT_TRUE(sub.waitFor("site/hall/event", "\"fault\":true"));
  // Several read-outs later the two changes are still one event each.
  const auto hall = [&] { return sub.messages("site/hall/registers").size(); };
  ASSERT_TRUE(WaitFor([&] { return hall() >= registers + 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const auto events = sub.messages("site/hall/event");
  ASSERT_EQ(events.size(), 2u) << ::testing::PrintToString(events);
  EXPECT_NE(events[0].find("\"loop\":1,\"address\":3,\"alarm\":true"), std::string::npos) << events[0];
  EXPECT_NE(events[1].find("\"alarm\":false,\"fault\":true"), std::string::npos) << events[1];

  const std::string retained = Retained(broker.port, "site/hall/#");
  EXPECT_NE(retained.find("site/hall/status online"), std::string::npos) << retained;
  EXPECT_NE(retained.find("site/hall/device/1/3 {"), std::string::npos) << retained;
  EXPECT_NE(retained.find("\"address\":3,\"alarm\":false,\"fault\":true"), std::string::npos) << retained;
  EXPECT_NE(retained.find("site/hall/device/2/2 {"), std::string::npos) << retained;
  EXPECT_EQ(retained.find("site/hall/device/1/2 "), std::string::npos) << "a device never seen is not published";
  // Home Assistant finds each device's alarm and fault by itself.
  const std::string discovery = Retained(broker.port, "homeassistant/#");
  EXPECT_NE(discovery.find("homeassistant/binary_sensor/t_hall_l1a3_alarm/config {"), std::string::npos) << discovery;
  EXPECT_NE(discovery.find("\"state_topic\":\"site/hall/device/1/3\""), std::string::npos) << discovery;

  // SIGTERM: offline, and the program ends.
  EXPECT_EQ(monitor.process->stop(SIGTERM), 0);
  EXPECT_TRUE(sub.waitFor("site/hall/status", "offline"));

  EXPECT_TRUE(Fit(dir, "status.schema.json", sub.messages("site/hall/status"), true));
  EXPECT_TRUE(Fit(dir, "registers.schema.json", sub.messages("site/hall/registers")));
  EXPECT_TRUE(Fit(dir, "device.schema.json", sub.messages("site/hall/device/1/3")));
  EXPECT_TRUE(Fit(dir, "event.schema.json", events));
}

// The registers messages' numbers, in the order they came.
std::vector<long> Sequence(const std::vector<std::string>& messages) {
  std::vector<long> seq;
  for (const auto& m : messages) {
    const auto at = m.find("\"seq\":");
    if (at != std::string::npos) seq.push_back(std::stol(m.substr(at + 6)));
  }
  return seq;
}

// The broker goes away for a while and comes back with its sessions (a persistent subscriber
// gets what was published while it was away).
TEST_F(MonitorTest, BrokerRestartLosesNothingWithinTheQueueAndCountsDropsBeyondIt) {
  for (const int queue : {1000, 10}) {
    SCOPED_TRACE("queue " + std::to_string(queue));
    const std::string d = dir + "/q" + std::to_string(queue);
    std::filesystem::create_directory(d);
    Mosquitto broker(d, {"persistence true", "persistence_location " + d + "/", "autosave_interval 1"});
    Slave slave(d, kQuiet);
    ASSERT_TRUE(broker.ready && slave.ready);
    const std::vector<std::string> session{"-c", "-i", "reader"};
    Subscriber before(d + "/sub1.log", broker.port, "site/hall/#", session);
    Monitor monitor(d, config(broker.port, "queue = " + std::to_string(queue), panel("hall", "snapshot = 0.1", d)));
    ASSERT_TRUE(before.waitFor("site/hall/registers", "\"seq\":3")) << monitor.log();

    broker.stop();
    before.stop();
    ASSERT_TRUE(monitor.logSays("lost the broker"));
    // Its first try again has failed; the next comes 2 s later: 30 read-outs at least while the
    // broker is away, three times the small queue.
    ASSERT_TRUE(monitor.logSays("Connection refused; next try in 2 s")) << monitor.log();
    broker.start();
    ASSERT_TRUE(broker.ready);
    auto sub = std::make_unique<Subscriber>(d + "/sub2.log", broker.port, "site/hall/#", session);
    ASSERT_TRUE(monitor.logSays("connected to the broker"));
    ASSERT_TRUE(WaitFor([&] { return Sequence(sub->messages("site/hall/registers")).size() > 30; }));

    auto seq = Sequence(before.messages("site/hall/registers"));
    const auto after = Sequence(sub->messages("site/hall/registers"));
    seq.insert(seq.end(), after.begin(), after.end());
    long gaps = 0;
    for (size_t k = 1; k < seq.size(); ++k) {
      if (seq[k] <= seq[k - 1]) continue;  // sent again after the break: QoS 1 may repeat
      gaps += seq[k] - seq[k - 1] - 1;
    }
    const auto dropped = sub->messages("site/hall/event");
    if (queue == 1000) {
      EXPECT_EQ(gaps, 0);
      EXPECT_TRUE(dropped.empty()) << dropped.front();
    } else {
      EXPECT_GT(gaps, 0);
      ASSERT_TRUE(sub->waitFor("site/hall/event", "\"kind\":\"dropped\""));
      const std::string event = sub->messages("site/hall/event").front();
      EXPECT_NE(event.find("\"count\":" + std::to_string(gaps)), std::string::npos) << event << " gaps " << gaps;
    }
  }
}

// The simulated panel on both of its lines: the scan over the panel's own protocol adds type and
// zone to the states the registers give.
TEST_F(MonitorTest, ScanAddsTypeAndZoneToTheDeviceStates) {
  Mosquitto broker(dir);
  ASSERT_TRUE(broker.ready);
  Process sim({"/usr/bin/python3", std::string(OSTREL_SOURCE_DIR) + "/tools/qvsim", "--link-dir", dir, "--modbus"},
              dir + "/sim.log");
  ASSERT_TRUE(
      WaitFor([&] { return std::filesystem::exists(dir + "/COM1") && std::filesystem::exists(dir + "/COM2"); }));
  setenv("OSTREL_DEVICE_DIR", dir.c_str(), 1);
  Subscriber sub(dir + "/sub.log", broker.port, "site/#");
  Monitor monitor(dir, config(broker.port, "", "[hall]\nmodbus_port = COM2\nregisters = 1-3\npanel_port = COM1\n"));
  unsetenv("OSTREL_DEVICE_DIR");
  ASSERT_TRUE(sub.waitFor("site/hall/device/1/1", "\"status\":")) << monitor.log();
  ASSERT_TRUE(sub.waitFor("site/hall/device/1/1", "\"type_name\":\"ZR 401\",\"zone\":1,\"switched_on\":true"))
      << monitor.log();
}

TEST_F(MonitorTest, PortFarEndClosedAndReopenedGoesOfflineThenOnline) {
  Mosquitto broker(dir);
  Slave slave(dir, kQuiet);
  ASSERT_TRUE(broker.ready && slave.ready);
  Subscriber sub(dir + "/sub.log", broker.port, "site/#");
  Monitor monitor(dir, config(broker.port, "", panel("hall")));
  ASSERT_TRUE(sub.waitFor("site/hall/status", "online")) << monitor.log();

  slave.stop();
  ASSERT_TRUE(sub.waitFor("site/hall/status", "offline")) << monitor.log();
  ASSERT_TRUE(sub.waitFor("site/hall/event", "\"status\":\"offline\""));
  ASSERT_TRUE(slave.start());
  ASSERT_TRUE(sub.waitFor("site/hall/status", "online", 2)) << monitor.log();
  ASSERT_TRUE(sub.waitFor("site/hall/event", "\"status\":\"online\""));
  EXPECT_NE(monitor.log().find("panel hall: offline: "), std::string::npos) << monitor.log();
}

TEST_F(MonitorTest, PanelSilentGoesOfflineAfterItsReadOuts) {
  Mosquitto broker(dir);
  Slave slave(dir, kQuiet);
  ASSERT_TRUE(broker.ready && slave.ready);
  Subscriber sub(dir + "/sub.log", broker.port, "site/#");
  // Slave 7 is not there: the pymodbus slave answers every address, so ask what it lacks.
  Monitor monitor(dir, config(broker.port, "",
                              panel("hall") + "[annex]\nmodbus_port = " + dir +
                                  "/COM2\nmodbus_speed = 9600\nslave = 7\nregisters = 900\nperiod = 0.1\n"
                                  "timeout = 100\nsilent_after = 2\n"));
  ASSERT_TRUE(sub.waitFor("site/annex/status", "offline")) << monitor.log();
  EXPECT_TRUE(sub.waitFor("site/hall/status", "online"));
  EXPECT_NE(monitor.log().find("panel annex: offline: the panel did not answer 2 read-outs: slave 7 refused"),
            std::string::npos)
      << monitor.log();
}

TEST_F(MonitorTest, CommandsRefusedUnlessAllowed) {
  Mosquitto broker(dir);
  Slave slave(dir, kQuiet, {"--holding", "100:2"});
  ASSERT_TRUE(broker.ready && slave.ready);
  Subscriber sub(dir + "/sub.log", broker.port, "site/+/command/result");
  Monitor monitor(dir, config(broker.port, "",
                              panel("hall") + "[annex]\nmodbus_port = " + dir +
                                  "/COM2\nmodbus_speed = 9600\nslave = 2\nregisters = 1-5\nallow_commands = yes\n"));
  ASSERT_TRUE(monitor.logSays("panel annex: online")) << monitor.log();
  const auto send = [&](const std::string& panel, const std::string& json) {
    Process pub({"mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(broker.port), "-q", "1", "-t",
                 "site/" + panel + "/command", "-m", json},
                dir + "/pub.log");
    pub.stop(0);
  };
  send("hall", R"({"id":"1","write":"register","address":100,"value":5})");
  ASSERT_TRUE(sub.waitFor("site/hall/command/result", "\"result\":\"refused\"")) << monitor.log();
  EXPECT_EQ(slave.holding().find("\"100\": 5"), std::string::npos) << slave.holding();

  send("annex", R"({"id":"2","write":"register","address":100,"value":5})");
  ASSERT_TRUE(sub.waitFor("site/annex/command/result", "\"id\":\"2\",\"result\":\"confirmed\"")) << monitor.log();
  EXPECT_NE(slave.holding().find("\"100\": 5"), std::string::npos) << slave.holding();

  send("annex", R"({"id":"3","write":"address","new":255})");
  ASSERT_TRUE(sub.waitFor("site/annex/command/result", "\"id\":\"3\",\"result\":\"invalid\""));
  send("annex", R"({"id":"4","write":"register","port":"/dev/ttyS0","address":100,"value":6})");
  ASSERT_TRUE(sub.waitFor("site/annex/command/result", "\"id\":\"4\",\"result\":\"invalid\""));
  EXPECT_TRUE(Fit(dir, "command-result.schema.json", sub.messages("site/annex/command/result")));
  EXPECT_TRUE(Fit(dir, "command.schema.json",
                  {R"({"id":"2","write":"register","address":100,"value":5})",
                   R"({"id":"7","write":"command","command":"zone","panel":3,"target":17})"}));
}

TEST_F(MonitorTest, WrongPasswordIsRefusedWithAClearLineAndRetried) {
  WriteFile(dir + "/passwd", "");
  Process made({"mosquitto_passwd", "-b", dir + "/passwd", "monitor", "right"}, dir + "/passwd.log");
  ASSERT_EQ(made.stop(0), 0) << made.output();
  Mosquitto broker(dir, {"allow_anonymous false", "password_file " + dir + "/passwd"});
  Slave slave(dir, kQuiet);
  ASSERT_TRUE(broker.ready && slave.ready) << ReadFile(dir + "/mosquitto.log");
  WriteFile(dir + "/monitor.password", "wrong\n");
  Monitor monitor(dir, config(broker.port, "user = monitor\npassword_file = monitor.password", panel("hall")));
  ASSERT_TRUE(monitor.logSays("t-hall: cannot connect to the broker 127.0.0.1:" + std::to_string(broker.port) +
                              ": the broker refused the connection: Connection Refused: not authorised (check user "
                              "and password_file); next try in 1 s"))
      << monitor.log();
  // It goes on trying: the second refusal is told too.
  ASSERT_TRUE(monitor.logSays("next try in 2 s")) << monitor.log();
}

// A CA and the broker's certificate signed by it, and a second CA that signed nothing of it.
bool MakeCertificates(const std::string& dir) {
  const std::string script =
      "set -e; cd '" + dir +
      "'\n"
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test-ca -keyout ca.key -out ca.crt\n"
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=other-ca -keyout other.key -out other.crt\n"
      "openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr\n"
      "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > san.ext\n"
      "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext "
      "-out server.crt\n";
  Process p({"sh", "-c", script}, dir + "/openssl.log");
  return p.stop(0, std::chrono::seconds(30)) == 0;
}

TEST_F(MonitorTest, UnknownCaIsRefusedWithAClearLineAndTheRightOneConnects) {
  ASSERT_TRUE(MakeCertificates(dir)) << ReadFile(dir + "/openssl.log");
  Mosquitto broker(dir,
                   {"cafile " + dir + "/ca.crt", "certfile " + dir + "/server.crt", "keyfile " + dir + "/server.key"});
  Slave slave(dir, kQuiet);
  ASSERT_TRUE(broker.ready && slave.ready);
  const auto tls = [&](const std::string& ca) {
    return "[broker]\nurl = mqtts://127.0.0.1:" + std::to_string(broker.port) + "\nclient_id = t\nca_file = " + ca +
           "\ntopic_prefix = site\n" + panel("hall");
  };
  {
    Monitor monitor(dir, tls("other.crt"));
    ASSERT_TRUE(monitor.logSays("TLS: certificate verify failed (is ca_file the CA of the broker's certificate?)"))
        << monitor.log();
    ASSERT_TRUE(monitor.logSays("cannot connect to the broker", 2)) << monitor.log();
  }
  std::filesystem::remove(dir + "/monitor.log");
  Subscriber sub(dir + "/sub.log", broker.port, "site/#", {"--cafile", dir + "/ca.crt"});
  Monitor monitor(dir, tls("ca.crt"));
  ASSERT_TRUE(sub.waitFor("site/hall/status", "online")) << monitor.log() << ReadFile(dir + "/sub.log");
}

}  // namespace
}  // namespace ostrel::monitor::testing
