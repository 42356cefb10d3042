// Scenario benchmarks of the serial port over a pseudo-terminal pair, each against a plain
// poll+read loop on the same kind of pair, measured in one run:
//   1. 16 MiB in random chunk sizes through OnRxChar + ReadBytes: complete, in order, no byte
//      doubled; throughput as a ratio to the plain loop.
//   2. Latency from a far-end write to the OnRxChar call on the main thread (median, p99).
//   3. CPU time of an open idle port over 10 s.
// Usage: serial_bench [--quick]   (--quick: 2 MiB and a 2 s idle phase)
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "serial/VaComm.h"

using namespace ostrel::serial;
using clk = std::chrono::steady_clock;

namespace {

struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    slave = ptsname(master);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
  }
  ~Pty() { ::close(master); }
};

double seconds(clk::duration d) { return std::chrono::duration<double>(d).count(); }

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::string makeData(size_t n) {
  std::string d(n, '\0');
  std::mt19937 g(12345);
  for (auto& c : d) c = static_cast<char>(g());
  return d;
}

// Writes `data` to fd in random chunk sizes of 1..4096 bytes.
void writeChunks(int fd, const std::string& data) {
  std::mt19937 g(777);
  std::uniform_int_distribution<size_t> size(1, 4096);
  size_t off = 0;
  while (off < data.size()) {
    size_t n = std::min(size(g), data.size() - off);
    ssize_t r = ::write(fd, data.data() + off, n);
    if (r > 0)
      off += static_cast<size_t>(r);
    else if (r < 0 && errno != EINTR && errno != EAGAIN)
      break;
  }
}

std::unique_ptr<TVaComm> openPort(const std::string& path, std::shared_ptr<TVaMainLoop> loop) {
  auto p = std::make_unique<TVaComm>();
  p->SetMainThreadSync(loop);
  p->SetDeviceName(path);
  p->SetDirectWrite(true);
  p->SetBaudrate(br115200);
  p->Buffers().SetReadSize(65536);
  return p;
}

int openPlain(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

// ---------------------------------------------------------------- 1. throughput

double plainThroughput(const std::string& data) {
  Pty pty;
  int fd = openPlain(pty.slave);
  std::string got;
  got.reserve(data.size());
  auto t0 = clk::now();
  std::thread writer([&] { writeChunks(pty.master, data); });
  char buf[65536];
  while (got.size() < data.size()) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) <= 0) break;
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r > 0) got.append(buf, static_cast<size_t>(r));
  }
  auto t = seconds(clk::now() - t0);
  writer.join();
  ::close(fd);
  if (got != data) std::printf("  plain loop: data differ!\n");
  return t;
}

double portThroughput(const std::string& data, bool& intact, long& batches) {
  Pty pty;
  auto loop = std::make_shared<TVaMainLoop>();
  auto port = openPort(pty.slave, loop);
  std::string got;
  got.reserve(data.size());
  std::vector<uint8_t> buf;
  batches = 0;
  port->OnRxChar = [&](TVaCustomComm* s, int32_t n) {
    ++batches;
    buf.resize(static_cast<size_t>(n));
    int32_t r = s->ReadBytes(buf.data(), n);
    got.append(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(r));
  };
  port->OpenPort();
  auto t0 = clk::now();
  std::thread writer([&] { writeChunks(pty.master, data); });
  loop->runUntil([&] { return got.size() >= data.size(); }, std::chrono::seconds(60));
  auto t = seconds(clk::now() - t0);
  writer.join();
  port->ClosePort();
  intact = got == data;
  return t;
}

// ---------------------------------------------------------------- 2. latency

struct Percentiles {
  double median, p99;
};

Percentiles percentiles(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

Percentiles plainLatency(int samples) {
  Pty pty;
  int fd = openPlain(pty.slave);
  std::vector<double> us;
  char c = 'x', buf[16];
  for (int i = 0; i < samples; ++i) {
    auto t0 = clk::now();
    [[maybe_unused]] ssize_t w = ::write(pty.master, &c, 1);
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 1000);
    [[maybe_unused]] ssize_t r = ::read(fd, buf, sizeof buf);
    us.push_back(seconds(clk::now() - t0) * 1e6);
  }
  ::close(fd);
  return percentiles(us);
}

Percentiles portLatency(int samples) {
  Pty pty;
  auto loop = std::make_shared<TVaMainLoop>();
  auto port = openPort(pty.slave, loop);
  clk::time_point seen;
  bool fired = false;
  port->OnRxChar = [&](TVaCustomComm* s, int32_t) {
    seen = clk::now();
    fired = true;
    s->ReadAll();
  };
  port->OpenPort();
  std::vector<double> us;
  char c = 'x';
  for (int i = 0; i < samples; ++i) {
    fired = false;
    auto t0 = clk::now();
    [[maybe_unused]] ssize_t w = ::write(pty.master, &c, 1);
    loop->runUntil([&] { return fired; }, std::chrono::seconds(2));
    us.push_back(seconds(seen - t0) * 1e6);
  }
  port->ClosePort();
  return percentiles(us);
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const size_t size = quick ? (2u << 20) : (16u << 20);
  const std::string data = makeData(size);

  std::printf("1. %zu MiB in random chunks of 1..4096 bytes through a pseudo-terminal\n", size >> 20);
  double plain = plainThroughput(data);
  bool intact = false;
  long batches = 0;
  double port = portThroughput(data, intact, batches);
  std::printf("   plain poll+read: %.3f s (%.1f MiB/s)\n", plain, double(size >> 20) / plain);
  std::printf("   port OnRxChar+ReadBytes: %.3f s (%.1f MiB/s), %ld batches, data %s\n", port,
              double(size >> 20) / port, batches, intact ? "complete and in order" : "DIFFER");
  std::printf("   throughput ratio port/plain: %.2f\n", plain / port);

  const int samples = 500;
  std::printf("2. latency from a far-end write to the reader (%d samples)\n", samples);
  Percentiles pl = plainLatency(samples);
  Percentiles pt = portLatency(samples);
  std::printf("   plain poll+read: median %.1f us, p99 %.1f us\n", pl.median, pl.p99);
  std::printf("   port OnRxChar on the main thread: median %.1f us, p99 %.1f us\n", pt.median, pt.p99);
  std::printf("   latency ratio port/plain: median %.2f, p99 %.2f\n", pt.median / pl.median, pt.p99 / pl.p99);

  const int idle = quick ? 2 : 10;
  std::printf("3. CPU time of open idle ports over %d s\n", idle);
  {
    Pty a, b;
    auto loop = std::make_shared<TVaMainLoop>();
    auto direct = openPort(a.slave, loop);
    auto queued = openPort(b.slave, loop);
    queued->SetDirectWrite(false);
    direct->OnRxChar = [](TVaCustomComm*, int32_t) {};
    direct->OpenPort();
    queued->OpenPort();
    double c0 = cpuSeconds();
    auto t0 = clk::now();
    std::this_thread::sleep_for(std::chrono::seconds(idle));  // nothing arrives: nothing to pump
    double cpu = cpuSeconds() - c0;
    double wall = seconds(clk::now() - t0);
    std::printf("   two open ports (direct and queued): %.4f s CPU in %.1f s (%.4f %% of one core)\n", cpu, wall,
                100.0 * cpu / wall);
  }
  return intact ? 0 : 1;
}
