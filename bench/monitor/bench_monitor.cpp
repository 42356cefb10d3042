// ostrel-monitor at scale: one process, PANELS panels (slave addresses 1..N behind a few
// pseudo-terminals, answered by this program), each read every second, publishing to a real
// mosquitto on loopback. Prints the monitor's CPU (% of one core) and resident size over time,
// its thread count, and the latency from a reply's last byte written to its message arriving
// from the broker (p50, p99).
//   bench_monitor [SECONDS=60] [PANELS=100] [LINES=4]      (an hour: bench_monitor 3600)
#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "modbus/crc.h"
#include "peers.h"

using namespace ostrel::monitor::testing;

namespace {

constexpr int kFirstRegister = 2101;  // loop and panel registers: no device states
constexpr int kRegisters = 10;

struct Sent {
  std::mutex mutex;
  // (slave line, slave, counter) -> when the reply's last byte was written
  std::map<std::tuple<int, int, int>, Clock::time_point> at;
};

// One pseudo-terminal with slaves 1..n on it: each function-4 request gets registers whose
// last one counts the requests, so every read-out is a change the monitor publishes.
class Line {
 public:
  Line(int index, int slaves, Sent& sent) : index_(index), slaves_(slaves), sent_(sent) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master_);
    unlockpt(master_);
    path = ptsname(master_);
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    thread_ = std::thread([this] { serve(); });
  }
  ~Line() {
    stop_ = true;
    thread_.join();
    ::close(master_);
  }
  std::string path;

 private:
  void serve() {
    std::string in;
    std::vector<uint16_t> counter(static_cast<size_t>(slaves_) + 1, 0);
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[512];
      const ssize_t n = ::read(master_, buf, sizeof buf);
      if (n <= 0) continue;
      in.append(buf, static_cast<size_t>(n));
      while (in.size() >= 8) {
        const std::string req = in.substr(0, 8);
        const auto crc = ostrel::modbus::ModbusCrc(req.substr(0, 6));
        if (static_cast<uint8_t>(req[6]) != crc.low || static_cast<uint8_t>(req[7]) != crc.high) {
          in.erase(0, 1);  // out of step: find the next request
          continue;
        }
        in.erase(0, 8);
        const int slave = static_cast<uint8_t>(req[0]);
        if (slave < 1 || slave > slaves_ || req[1] != 4) continue;
        const uint16_t value = ++counter[static_cast<size_t>(slave)];
        std::string reply{static_cast<char>(slave), 4, static_cast<char>(2 * kRegisters)};
        for (int k = 0; k < kRegisters; ++k) {
          const uint16_t v = k == kRegisters - 1 ? value : 0;
          reply += static_cast<char>(v >> 8);
          reply += static_cast<char>(v & 0xFF);
        }
        const auto c = ostrel::modbus::ModbusCrc(reply);
        reply += static_cast<char>(c.low);
        reply += static_cast<char>(c.high);
        (void)!::write(master_, reply.data(), reply.size());
        const std::lock_guard<std::mutex> hold(sent_.mutex);
        sent_.at[{index_, slave, value}] = Clock::now();
      }
    }
  }
  int index_, slaves_;
  Sent& sent_;
  int master_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Received {
  std::mutex mutex;
  std::vector<double> latencyMs;
  Sent* sent = nullptr;
  long messages = 0, unmatched = 0;
};

void onMessage(mosquitto*, void* obj, const mosquitto_message* m) {
  auto* r = static_cast<Received*>(obj);
  const auto now = Clock::now();
  // bench/L<line>S<slave>/registers
  int line = 0, slave = 0;
  if (std::sscanf(m->topic, "bench/L%dS%d/registers", &line, &slave) != 2) return;
  const std::string payload(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen));
  const std::string key = "{\"register\":" + std::to_string(kFirstRegister + kRegisters - 1) + ",\"value\":";
  const auto at = payload.find(key);
  const std::lock_guard<std::mutex> hold(r->mutex);
  ++r->messages;
  if (at == std::string::npos) return;
  const int value = std::atoi(payload.c_str() + at + key.size());
  Clock::time_point sentAt;
  {
    const std::lock_guard<std::mutex> h(r->sent->mutex);
    auto it = r->sent->at.find({line, slave, value});
    if (it == r->sent->at.end()) {
      ++r->unmatched;
      return;
    }
    sentAt = it->second;
    r->sent->at.erase(it);
  }
  r->latencyMs.push_back(std::chrono::duration<double, std::milli>(now - sentAt).count());
}

struct Sample {
  double cpuTicks = 0;
  long rssKb = 0, threads = 0;
};

Sample Measure(pid_t pid) {
  Sample s;
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  std::istringstream in(stat.substr(close + 2));
  std::string field;
  for (int k = 3; k <= 15 && in >> field; ++k) {
    if (k == 14 || k == 15) s.cpuTicks += std::stod(field);
  }
  for (const auto& l : Lines(ReadFile("/proc/" + std::to_string(pid) + "/status"))) {
    if (l.rfind("VmRSS:", 0) == 0) s.rssKb = std::atol(l.c_str() + 6);
    if (l.rfind("Threads:", 0) == 0) s.threads = std::atol(l.c_str() + 8);
  }
  return s;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int panels = argc > 2 ? std::atoi(argv[2]) : 100;
  const int lines = argc > 3 ? std::atoi(argv[3]) : 4;
  const std::string dir = TempDir();
  Mosquitto broker(dir, {"max_queued_messages 100000"});
  if (!broker.ready) {
    std::fprintf(stderr, "bench_monitor: mosquitto did not start\n");
    return 1;
  }
  Sent sent;
  std::vector<std::unique_ptr<Line>> ptys;
  const int perLine = (panels + lines - 1) / lines;
  std::string config = "[broker]\nurl = mqtt://127.0.0.1:" + std::to_string(broker.port) +
                       "\nclient_id = bench\ntopic_prefix = bench\nqueue = 10000\n";
  for (int l = 0; l < lines; ++l) {
    const int here = std::min(perLine, panels - l * perLine);
    if (here <= 0) break;
    ptys.push_back(std::make_unique<Line>(l, here, sent));
    for (int s = 1; s <= here; ++s) {
      config += "[L" + std::to_string(l) + "S" + std::to_string(s) + "]\nmodbus_port = " + ptys.back()->path +
                "\nmodbus_speed = 115200\nslave = " + std::to_string(s) +
                "\nregisters = " + std::to_string(kFirstRegister) + "-" +
                std::to_string(kFirstRegister + kRegisters - 1) + "\nperiod = 1\ntimeout = 200\n";
    }
  }
  Received received;
  received.sent = &sent;
  mosquitto_lib_init();
  mosquitto* sub = mosquitto_new("bench-reader", true, &received);
  mosquitto_message_callback_set(sub, onMessage);
  mosquitto_connect(sub, "127.0.0.1", broker.port, 30);
  mosquitto_subscribe(sub, nullptr, "bench/+/registers", 1);
  mosquitto_loop_start(sub);

  Monitor monitor(dir, config);
  const pid_t pid = monitor.process->pid();
  const long tick = sysconf(_SC_CLK_TCK);
  std::printf("ostrel-monitor: %d panels on %zu pseudo-terminals, each read every 1 s (%d registers), %d s\n", panels,
              ptys.size(), kRegisters, seconds);
  std::printf("%8s  %10s  %8s  %7s  %9s\n", "time s", "CPU %", "RSS MB", "threads", "messages");
  // The first 5 s settle (connections, first read-outs); then one row per interval.
  std::this_thread::sleep_for(std::chrono::seconds(5));
  const int interval = std::max(5, seconds / 12);
  Sample last = Measure(pid);
  auto lastAt = Clock::now();
  const Sample first = last;
  const auto start = lastAt;
  {
    const std::lock_guard<std::mutex> hold(received.mutex);
    received.latencyMs.clear();
  }
  double peakRss = 0;
  while (Clock::now() - start < std::chrono::seconds(seconds)) {
    std::this_thread::sleep_for(std::chrono::seconds(interval));
    const Sample now = Measure(pid);
    const auto at = Clock::now();
    const double wall = std::chrono::duration<double>(at - lastAt).count();
    long messages = 0;
    {
      const std::lock_guard<std::mutex> hold(received.mutex);
      messages = received.messages;
    }
    std::printf("%8.0f  %10.2f  %8.1f  %7ld  %9ld\n", std::chrono::duration<double>(at - start).count(),
                100.0 * (now.cpuTicks - last.cpuTicks) / static_cast<double>(tick) / wall, now.rssKb / 1024.0,
                now.threads, messages);
    std::fflush(stdout);
    peakRss = std::max(peakRss, now.rssKb / 1024.0);
    last = now;
    lastAt = at;
  }
  const double total = std::chrono::duration<double>(lastAt - start).count();
  std::vector<double> lat;
  long unmatched = 0;
  {
    const std::lock_guard<std::mutex> hold(received.mutex);
    lat = received.latencyMs;
    unmatched = received.unmatched;
  }
  std::printf("\nCPU over the run: %.2f %% of one core (goal <= 5 %%)\n",
              100.0 * (last.cpuTicks - first.cpuTicks) / static_cast<double>(tick) / total);
  std::printf("RSS: %.1f MB at the start, %.1f MB at the end, %.1f MB peak (goal < 50 MB)\n", first.rssKb / 1024.0,
              last.rssKb / 1024.0, peakRss);
  std::printf("threads: %ld at the start, %ld at the end\n", first.threads, last.threads);
  std::printf(
      "latency, reply's last byte -> message from the broker, %zu read-outs: p50 %.2f ms, p99 %.2f ms, "
      "max %.2f ms (goal p99 < 20 ms); %ld read-outs expected, %ld messages unmatched\n",
      lat.size(), Percentile(lat, 0.5), Percentile(lat, 0.99), Percentile(lat, 1.0), static_cast<long>(total) * panels,
      unmatched);
  mosquitto_loop_stop(sub, true);
  mosquitto_destroy(sub);
  mosquitto_lib_cleanup();
  monitor.process->stop(SIGTERM);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
