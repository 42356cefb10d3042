// Network ports against the line itself: the same exchanges through ser2net's RFC 2217 and raw
// accepters (on loopback) and directly on the pseudo-terminal ser2net serves:
//   1. the round trip of one byte to an echo (cat behind socat's pseudo-terminal);
//   2. a 125-register read-out from the pymodbus slave.
// Each prints the median and the 99th percentile, and their difference to direct; "bare raw" is
// a plain blocking socket through the raw accepter: the server's own share of the time.
// Usage: bench_network [byte round trips (1000)] [read-outs (100)]
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "cli/CliPort.h"
#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/ModbusExchange.h"
#include "modbus/complete.h"
#include "modbus/frames.h"
#include "network_peers.h"
#include "peers.h"

using namespace ostrel;
using namespace ostrel::cli;
using namespace ostrel::cli::testing;

namespace {

struct Figures {
  double median = 0, p99 = 0;
};

Figures figures(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) return {};
  return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

std::string realPath(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// Runs `rounds` measured exchanges on a fresh port. ser2net resets a connection that comes the
// moment another one has closed: a first exchange that meets that is tried again on a new port.
template <class Exchange>
std::vector<double> measure(const std::string& port, int rounds, Exchange exchange) {
  const auto deadline = Clock::now() + std::chrono::seconds(15);
  for (;;) {
    try {
      CliPort p(port, {19200, serial::paEven, serial::sb1}, true);  // the echo holds its own pty
      exchange(p);                                                  // warm-up
      std::vector<double> ms;
      for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        if (!exchange(p)) {
          std::printf("  %s: exchange %d failed\n", port.c_str(), i);
          return {};
        }
        ms.push_back(msSince(t0));
      }
      return ms;
    } catch (const CliError& e) {
      if (Clock::now() > deadline) {
        std::printf("  %s: %s\n", port.c_str(), e.what());
        return {};
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
}

// The same exchange by a bare blocking socket through the raw accepter: what the server path
// costs without this program's port object, to tell the two apart.
std::vector<double> bareSocket(int port, const std::string& request, size_t replyBytes, int rounds) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  int one = 1;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  std::vector<double> ms;
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    for (int i = 0; i <= rounds; ++i) {
      const auto t0 = Clock::now();
      if (::send(s, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) break;
      size_t got = 0;
      char buf[512];
      while (got < replyBytes) {
        const ssize_t r = ::recv(s, buf, sizeof buf, 0);
        if (r <= 0) break;
        got += static_cast<size_t>(r);
      }
      if (got < replyBytes) break;
      if (i > 0) ms.push_back(msSince(t0));  // the first is the warm-up
    }
  }
  ::close(s);
  return ms;
}

void report(const char* what, const std::vector<std::pair<std::string, std::vector<double>>>& runs) {
  std::printf("%s\n", what);
  const Figures direct = figures(runs.front().second);
  for (const auto& [name, ms] : runs) {
    const Figures f = figures(ms);
    std::printf("  %-8s median %7.3f ms  p99 %7.3f ms", name.c_str(), f.median, f.p99);
    if (&ms != &runs.front().second)
      std::printf("   vs direct: median %+7.3f ms, p99 %+7.3f ms", f.median - direct.median, f.p99 - direct.p99);
    std::printf("\n");
  }
}

void byteRoundTrip(int rounds) {
  const std::string dir = NewMapDir();
  Peer echo({"socat", "pty,raw,echo=0,link=" + dir + "/COM3", "exec:cat"});
  if (!WaitFor([&] { return Exists(dir + "/COM3"); }, std::chrono::seconds(10))) {
    std::printf("the echo did not start\n");
    return;
  }
  Ser2net server(realPath(dir + "/COM3"), dir);
  if (!server.ready) {
    std::printf("ser2net did not start\n");
    return;
  }
  auto once = [](CliPort& p) {
    std::string got;
    p.onBytes([&](const std::string& b) { got += b; });
    p.write("U");
    p.waitUntil([&] { return !got.empty(); }, Clock::now() + std::chrono::seconds(2));
    return got == "U";
  };
  std::vector<std::pair<std::string, std::vector<double>>> runs;
  runs.emplace_back("direct", measure("COM3", rounds, once));
  runs.emplace_back("raw", measure(server.raw(), rounds, once));
  runs.emplace_back("rfc2217", measure(server.rfc(), rounds, once));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // ser2net lets the device go
  runs.emplace_back("bare raw", bareSocket(server.rawPort, "U", 1, rounds));
  char title[96];
  std::snprintf(title, sizeof title, "one byte's round trip to an echo, %d times:", rounds);
  report(title, runs);
}

void readOut(int rounds) {
  SlavePeer slave;
  if (!slave.ready) {
    std::printf("the pymodbus slave did not start\n");
    return;
  }
  Ser2net server(realPath(slave.dir + "/COM2"), slave.dir);
  if (!server.ready) {
    std::printf("ser2net did not start\n");
    return;
  }
  Console console(true, false);
  const std::string request = modbus::BuildReadInputRegisters(1, 0, 125);
  auto once = [&](CliPort& p) {
    const Exchange ex = ModbusExchange(p, console, request, std::chrono::milliseconds(2000));
    return modbus::ReplyComplete(4, ex.reply);
  };
  std::vector<std::pair<std::string, std::vector<double>>> runs;
  runs.emplace_back("direct", measure("COM2", rounds, once));
  runs.emplace_back("raw", measure(server.raw(), rounds, once));
  runs.emplace_back("rfc2217", measure(server.rfc(), rounds, once));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  runs.emplace_back("bare raw", bareSocket(server.rawPort, request, modbus::ReadReplyLength(125), rounds));
  char title[96];
  std::snprintf(title, sizeof title, "125-register read-out from the pymodbus slave, %d times:", rounds);
  report(title, runs);
}

}  // namespace

int main(int argc, char** argv) {
  const int bytes = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
  const int readouts = argc > 2 ? std::max(10, std::atoi(argv[2])) : 100;
  byteRoundTrip(bytes);
  readOut(readouts);
  return 0;
}
