#include "monitor/Broker.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "cli/Records.h"
#include "monitor/Log.h"
#include "monitor/Payloads.h"

namespace ostrel::monitor {

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kQos = 1;
constexpr std::chrono::seconds kFirstWait{1}, kLongestWait{30};
// Messages handed to the broker at once and not yet confirmed, per session.
constexpr size_t kInFlight = 32;
// How often a session's keep-alive and retries are looked after when nothing else happens.
constexpr std::chrono::milliseconds kHousekeeping{250};

// The library's own words for a refused connection, with what to check.
std::string refusalText(int rc) {
  std::string text = mosquitto_connack_string(rc);
  while (!text.empty() && text.back() == '.') text.pop_back();
  if (rc == 4 || rc == 5) text += " (check user and password_file)";
  return text;
}

}  // namespace

class Broker::Session {
 public:
  Session(const BrokerConfig& config, SessionSetup setup)
      : config_(config), setup_(std::move(setup)), queue_(config.queueLimit) {}
  ~Session() { drop(); }

  const SessionSetup& setup() const { return setup_; }
  CommandHandler* onCommand = nullptr;
  size_t index = 0;

  void push(Message m) {
    const std::lock_guard<std::mutex> hold(mutex_);
    queue_.push(std::move(m), inFlight_.size());
  }

  // Connects when the next try is due, hands waiting messages to the broker while connected.
  void tick(Clock::time_point now) {
    if (state_ == State::Down && now >= nextTry_) connect();
    if (state_ == State::Up) flush();
  }

  int fd() const { return m_ ? mosquitto_socket(m_) : -1; }
  bool wantWrite() const { return m_ && (state_ == State::Connecting || mosquitto_want_write(m_)); }
  bool up() const { return state_ == State::Up; }
  bool idle() const { return inFlight_.empty(); }
  Clock::time_point nextTry() const { return state_ == State::Down ? nextTry_ : Clock::time_point::max(); }

  // The socket has something for us, or housekeeping is due.
  void service() {
    if (!m_) return;
    const int rc = mosquitto_loop(m_, 0, 1);
    // The handle is let go here, never inside one of its own callbacks.
    if ((rc != MOSQ_ERR_SUCCESS || ended_) && state_ != State::Down) lost(rc != MOSQ_ERR_SUCCESS ? rc : endRc_);
  }

  // The last words of a session that ends: offline, retained.
  void sayOffline() {
    if (state_ == State::Up) send({setup_.statusTopic, kOffline, true});
  }
  void disconnect() {
    if (m_ && state_ == State::Up) {
      mosquitto_disconnect(m_);
      mosquitto_loop(m_, 0, 1);
    }
    drop();
  }

 private:
  enum class State { Down, Connecting, Up };

  std::string where() const { return config_.host + ":" + std::to_string(config_.port); }

  void connect() {
    drop();
    m_ = mosquitto_new(setup_.clientId.c_str(), true, this);
    if (!m_) {
      retryLater("cannot make an MQTT client (out of memory)");
      return;
    }
    mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_, &Session::onConnect);
    mosquitto_disconnect_callback_set(m_, &Session::onDisconnect);
    mosquitto_publish_callback_set(m_, &Session::onPublish);
    mosquitto_message_callback_set(m_, &Session::onMessage);
    mosquitto_log_callback_set(m_, &Session::onLog);
    mosquitto_will_set(m_, setup_.statusTopic.c_str(), static_cast<int>(std::strlen(kOffline)), kOffline, kQos, true);
    if (!config_.user.empty())
      mosquitto_username_pw_set(m_, config_.user.c_str(),
                                config_.password.empty() ? nullptr : config_.password.c_str());
    if (config_.tls) {
      const int rc = mosquitto_tls_set(m_, config_.caFile.empty() ? nullptr : config_.caFile.c_str(),
                                       config_.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
      if (rc != MOSQ_ERR_SUCCESS) {
        retryLater(std::string("TLS set-up failed: ") + mosquitto_strerror(rc));
        return;
      }
    }
    tlsError_.clear();
    ended_ = false;
    const int rc = mosquitto_connect_async(m_, config_.host.c_str(), config_.port, config_.keepaliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
      retryLater(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
      return;
    }
    state_ = State::Connecting;
  }

  // The connection could not be made or is gone: what was in flight waits again, the next try
  // comes after the growing wait.
  void lost(int rc) {
    if (reason_.empty()) {
      if (!tlsError_.empty())
        reason_ =
            "TLS: " + tlsError_ + (config_.caFile.empty() ? "" : " (is ca_file the CA of the broker's certificate?)");
      else
        reason_ = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    }
    const bool wasUp = state_ == State::Up;
    state_ = State::Down;
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      std::vector<Message> back;
      for (auto& [seq, m] : inFlight_) back.push_back(std::move(m));
      inFlight_.clear();
      mids_.clear();
      queue_.putBack(std::move(back));
    }
    if (wasUp) LogLine(setup_.clientId + ": lost the broker " + where() + ": " + reason_);
    retryLater(reason_);
  }

  void retryLater(const std::string& reason) {
    drop();
    state_ = State::Down;
    ++tries_;
    // The first failure of a kind is told; the same one again only now and then.
    if (reason != lastTold_ || (tries_ & (tries_ - 1)) == 0) {
      LogLine(setup_.clientId + ": cannot connect to the broker " + where() + ": " + reason + "; next try in " +
              std::to_string(wait_.count()) + " s");
      lastTold_ = reason;
    }
    nextTry_ = Clock::now() + wait_;
    wait_ = std::min(wait_ * 2, std::chrono::seconds(kLongestWait));
    reason_.clear();
  }

  void drop() {
    if (m_) mosquitto_destroy(m_);
    m_ = nullptr;
  }

  // Publishes one message and keeps it until the broker confirms it.
  bool send(Message m) {
    int mid = 0;
    const int rc = mosquitto_publish(m_, &mid, m.topic.c_str(), static_cast<int>(m.payload.size()), m.payload.data(),
                                     kQos, m.retain);
    if (rc != MOSQ_ERR_SUCCESS) return false;
    const std::lock_guard<std::mutex> hold(mutex_);
    inFlight_[++sequence_] = std::move(m);
    mids_[mid] = sequence_;
    return true;
  }

  void flush() {
    for (;;) {
      std::optional<Message> m;
      {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (inFlight_.size() >= kInFlight) return;
        m = queue_.pop();
      }
      if (!m) return;
      if (!send(*m)) {
        push(std::move(*m));
        return;
      }
    }
  }

  void connected() {
    state_ = State::Up;
    if (tries_ > 0 || everUp_) LogLine(setup_.clientId + ": connected to the broker " + where());
    everUp_ = true;
    tries_ = 0;
    wait_ = kFirstWait;
    lastTold_.clear();
    if (!setup_.commandTopic.empty()) mosquitto_subscribe(m_, nullptr, setup_.commandTopic.c_str(), kQos);
    const std::string status = setup_.currentStatus ? setup_.currentStatus() : std::string();
    if (!status.empty()) send({setup_.statusTopic, status, true});
    unsigned long long dropped = 0;
    {
      const std::lock_guard<std::mutex> hold(mutex_);
      dropped = queue_.takeDropped();
    }
    if (dropped > 0) {
      LogLine(setup_.clientId + ": " + std::to_string(dropped) + " messages dropped while the broker was away");
      send({setup_.eventTopic, DroppedEventPayload(cli::IsoTimestampNow(), dropped), false});
    }
    flush();
  }

  static void onConnect(mosquitto*, void* obj, int rc) {
    auto* s = static_cast<Session*>(obj);
    if (rc == 0) {
      s->connected();
      return;
    }
    s->reason_ = "the broker refused the connection: " + refusalText(rc);
    s->ended_ = true;
    s->endRc_ = MOSQ_ERR_CONN_REFUSED;
  }
  static void onDisconnect(mosquitto*, void* obj, int rc) {
    auto* s = static_cast<Session*>(obj);
    if (rc == 0 || s->ended_) return;
    s->ended_ = true;
    s->endRc_ = rc == MOSQ_ERR_ERRNO ? MOSQ_ERR_CONN_LOST : rc;
  }
  static void onPublish(mosquitto*, void* obj, int mid) {
    auto* s = static_cast<Session*>(obj);
    const std::lock_guard<std::mutex> hold(s->mutex_);
    auto it = s->mids_.find(mid);
    if (it == s->mids_.end()) return;
    s->inFlight_.erase(it->second);
    s->mids_.erase(it);
  }
  static void onMessage(mosquitto*, void* obj, const mosquitto_message* msg) {
    auto* s = static_cast<Session*>(obj);
    if (msg->retain) return;  // a command left on the broker from earlier is not run
    if (s->onCommand && *s->onCommand)
      (*s->onCommand)(s->index,
                      std::string(static_cast<const char*>(msg->payload), static_cast<size_t>(msg->payloadlen)));
  }
  static void onLog(mosquitto*, void* obj, int level, const char* text) {
    auto* s = static_cast<Session*>(obj);
    if (level != MOSQ_LOG_ERR || !text) return;
    std::string t = text;
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed": the last words say it.
    const auto colon = t.rfind(':');
    if (t.find("OpenSSL") != std::string::npos && colon != std::string::npos) t = t.substr(colon + 1);
    if (s->tlsError_.empty()) s->tlsError_ = t;
  }

  const BrokerConfig& config_;
  SessionSetup setup_;
  mosquitto* m_ = nullptr;
  State state_ = State::Down;
  Clock::time_point nextTry_{};
  std::chrono::seconds wait_{kFirstWait};
  unsigned tries_ = 0;
  bool everUp_ = false;
  bool ended_ = false;  // a callback saw the connection refused or broken
  int endRc_ = MOSQ_ERR_SUCCESS;
  std::string reason_, tlsError_, lastTold_;

  std::mutex mutex_;  // the queue and the messages in flight; publish() comes from any thread
  OutQueue queue_;
  std::map<unsigned long long, Message> inFlight_;  // by the order they were sent
  std::map<int, unsigned long long> mids_;          // the library's message id to that order
  unsigned long long sequence_ = 0;
};

Broker::Broker(BrokerConfig config) : config_(std::move(config)) {
  mosquitto_lib_init();
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

Broker::~Broker() {
  stop(std::chrono::milliseconds(0));
  sessions_.clear();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  mosquitto_lib_cleanup();
}

size_t Broker::addSession(SessionSetup setup) {
  sessions_.push_back(std::make_unique<Session>(config_, std::move(setup)));
  sessions_.back()->index = sessions_.size() - 1;
  sessions_.back()->onCommand = &onCommand_;
  return sessions_.size() - 1;
}

void Broker::start() {
  thread_ = std::thread([this] { run(); });
}

void Broker::wake() {
  const uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
}

void Broker::publish(size_t session, Message m) {
  sessions_.at(session)->push(std::move(m));
  wake();
}

void Broker::stop(std::chrono::milliseconds grace) {
  if (!thread_.joinable()) return;
  grace_ = grace;
  stopping_ = true;
  wake();
  thread_.join();
}

void Broker::run() {
  std::vector<pollfd> fds;
  std::vector<Session*> owners;
  auto lastHousekeeping = Clock::now();
  std::optional<Clock::time_point> leaveBy;
  for (;;) {
    const auto now = Clock::now();
    if (stopping_ && !leaveBy) {
      leaveBy = now + grace_;
      for (auto& s : sessions_) s->sayOffline();
    }
    if (leaveBy) {
      bool idle = true;
      for (auto& s : sessions_) idle = idle && (!s->up() || s->idle());
      if (idle || now >= *leaveBy) break;
    } else {
      for (auto& s : sessions_) s->tick(now);
    }
    fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
    owners.assign(1, nullptr);
    auto until = now + kHousekeeping;
    for (auto& s : sessions_) {
      until = std::min(until, s->nextTry());
      if (s->fd() < 0) continue;
      fds.push_back({s->fd(), static_cast<short>(POLLIN | (s->wantWrite() ? POLLOUT : 0)), 0});
      owners.push_back(s.get());
    }
    if (leaveBy) until = std::min(until, *leaveBy);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(ms, 0) + 1));
    if (fds[0].revents) {
      uint64_t n = 0;
      (void)!::read(wakeFd_, &n, sizeof n);
    }
    const bool housekeeping = Clock::now() - lastHousekeeping >= kHousekeeping;
    if (housekeeping) lastHousekeeping = Clock::now();
    for (size_t k = 1; k < fds.size(); ++k) {
      if (fds[k].revents || housekeeping) owners[k]->service();
    }
  }
  for (auto& s : sessions_) s->disconnect();
}

}  // namespace ostrel::monitor
