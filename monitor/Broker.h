#pragma once
// The monitor's side of the broker: one MQTT session per panel, so each panel's status has a
// last will of its own, all driven by one network thread. Panels hand their messages over from
// any thread; each session keeps them in a bounded queue while the broker cannot take them,
// publishes them with QoS 1, and keeps a copy of each until the broker confirms it, so a
// message in flight when the connection breaks goes out again after the reconnect. A session
// that cannot connect, or loses its connection, tries again after 1 s, 2 s, 4 s ... up to 30 s.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "monitor/Config.h"
#include "monitor/OutQueue.h"

namespace ostrel::monitor {

struct SessionSetup {
  std::string clientId;
  std::string statusTopic;   // its last will: offline, retained
  std::string commandTopic;  // subscribed to; empty: none
  std::string eventTopic;    // where the count of dropped messages goes
  // The status to state after each connect (the will may have said offline meanwhile); empty:
  // nothing known yet.
  std::function<std::string()> currentStatus;
};

// A command's payload, on the network thread: the handler must not block.
using CommandHandler = std::function<void(size_t session, const std::string& payload)>;

class Broker {
 public:
  explicit Broker(BrokerConfig config);
  ~Broker();
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  // Before start: one session per panel; its index is returned.
  size_t addSession(SessionSetup setup);
  void onCommand(CommandHandler handler) { onCommand_ = std::move(handler); }
  void start();
  // Any thread.
  void publish(size_t session, Message m);
  // Publishes offline on every connected session, waits up to `grace` for the broker to take
  // what is in flight, disconnects and ends the network thread.
  void stop(std::chrono::milliseconds grace);

  class Session;

 private:
  void run();
  void wake();

  BrokerConfig config_;
  std::vector<std::unique_ptr<Session>> sessions_;
  CommandHandler onCommand_;
  std::thread thread_;
  int wakeFd_ = -1;
  std::atomic<bool> stopping_{false};
  std::chrono::milliseconds grace_{0};
};

}  // namespace ostrel::monitor
