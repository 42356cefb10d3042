// ostrel-monitor: every panel of a configuration on an MQTT broker, until the system stops it.
#include <chrono>
#include <map>
#include <memory>
#include <thread>

#include "cli/Interrupt.h"
#include "cli/Records.h"
#include "cli/System.h"
#include "monitor/Broker.h"
#include "monitor/Config.h"
#include "monitor/Log.h"
#include "monitor/ModbusPoller.h"
#include "monitor/PanelFeed.h"
#include "monitor/PanelScanner.h"

namespace ostrel::monitor {
namespace {

const char* kUsage =
    "Usage: ostrel-monitor [--check] CONFIG\n"
    "\n"
    "Reads every panel of CONFIG over Modbus (and over the panel's own protocol when a\n"
    "panel_port is given) and publishes its status, registers, device states and events\n"
    "on the MQTT broker CONFIG names. Runs until SIGTERM or Ctrl+C.\n"
    "  --check    only check CONFIG and say what it holds\n"
    "'man ostrel-monitor' describes the configuration and the topics.\n"
    "Exit: 0 stopped, 2 bad usage or a bad configuration.\n";

// The broker's offline messages must be out within a second of SIGTERM: the threads end
// within a twentieth of a second, the broker gets the rest.
constexpr std::chrono::milliseconds kGoodbyeGrace{700};

class Monitor {
 public:
  explicit Monitor(const Config& config) : config_(config), broker_(config.broker) {
    std::map<std::string, std::vector<PanelFeed*>> byPort;
    for (const PanelConfig& p : config_.panels) {
      const std::string topic = config_.prefix + "/" + p.name;
      const size_t session = sessions_.size();
      sessions_.push_back(session);
      auto feed = std::make_unique<PanelFeed>(
          p, topic, [this, session](Message m) { broker_.publish(session, std::move(m)); },
          DiscoverySettings{config_.broker.homeAssistant, config_.broker.discoveryPrefix, config_.broker.clientId});
      PanelFeed* raw = feed.get();
      broker_.addSession({config_.broker.clientId + "-" + p.name, topic + "/status", topic + "/command",
                          topic + "/event", [raw] { return raw->status(); }});
      byPort[p.modbusPort].push_back(raw);
      feeds_.push_back(std::move(feed));
    }
    for (auto& [port, panels] : byPort) {
      pollers_.push_back(std::make_unique<ModbusPoller>(port, panels.front()->config().modbusLine, panels));
      for (PanelFeed* f : panels) pollerOf_[f] = pollers_.back().get();
    }
    for (auto& f : feeds_) {
      if (!f->config().panelPort.empty()) scanners_.push_back(std::make_unique<PanelScanner>(*f));
    }
    broker_.onCommand([this](size_t session, const std::string& payload) { command(session, payload); });
  }

  void run() {
    broker_.start();
    for (auto& p : pollers_) p->start();
    for (auto& s : scanners_) s->start();
    LogLine("ostrel-monitor " OSTREL_VERSION ": " + std::to_string(feeds_.size()) + " panels on " +
            std::to_string(pollers_.size()) + " Modbus ports, broker " + config_.broker.host + ":" +
            std::to_string(config_.broker.port));
    while (!cli::Interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (auto& p : pollers_) p->join();
    for (auto& s : scanners_) s->join();
    broker_.stop(kGoodbyeGrace);
    LogLine("ostrel-monitor: stopped");
  }

 private:
  // On the broker's thread: refused at once unless the panel allows commands.
  void command(size_t session, const std::string& payload) {
    PanelFeed* feed = feeds_.at(session).get();
    if (!feed->config().allowCommands) {
      feed->commandResult("", "refused",
                          "commands are off for panel " + feed->config().name + " (allow_commands = no)");
      return;
    }
    pollerOf_.at(feed)->command(feed, payload);
  }

  const Config& config_;
  Broker broker_;
  std::vector<size_t> sessions_;
  std::vector<std::unique_ptr<PanelFeed>> feeds_;
  std::vector<std::unique_ptr<ModbusPoller>> pollers_;
  std::map<PanelFeed*, ModbusPoller*> pollerOf_;
  std::vector<std::unique_ptr<PanelScanner>> scanners_;
};

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    cli::WriteRecord(cli::kStandardOutput, kUsage);
    return 0;
  }
  if (args.size() == 1 && (args[0] == "--version" || args[0] == "-V")) {
    cli::WriteRecord(cli::kStandardOutput, "ostrel-monitor " OSTREL_VERSION "\n");
    return 0;
  }
  const bool check = !args.empty() && args[0] == "--check";
  if (check) args.erase(args.begin());
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
    cli::WriteRecord(cli::kStandardError, kUsage);
    return 2;
  }
  Config config;
  try {
    config = LoadConfig(args[0]);
  } catch (const ConfigError& e) {
    LogLine(std::string("ostrel-monitor: ") + e.what());
    return 2;
  }
  if (check) {
    cli::WriteRecord(cli::kStandardOutput, args[0] + ": " + std::to_string(config.panels.size()) + " panels, broker " +
                                               config.broker.host + ":" + std::to_string(config.broker.port) +
                                               ", topics " + config.prefix + "/PANEL/...\n");
    return 0;
  }
  cli::InstallInterruptHandlers();
  Monitor(config).run();
  return 0;
}

}  // namespace
}  // namespace ostrel::monitor

int main(int argc, char** argv) { return ostrel::monitor::Run(argc, argv); }
