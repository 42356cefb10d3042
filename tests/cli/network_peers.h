#pragma once
// Servers on loopback for the network-port tests: Debian's ser2net offering a pseudo-terminal
// with RFC 2217 and raw, and a listener that takes connections and never says a word.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <fstream>

#include "cli_runner.h"

namespace ostrel::cli::testing {

// Debian installs the server in /usr/sbin, which is not on an ordinary user's PATH.
inline constexpr const char* kSer2net = "/usr/sbin/ser2net";

// A port on loopback nobody listens on right now.
inline int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("no free port");
  ::close(s);
  return ntohs(a.sin_port);
}

// True once a socket listens on 127.0.0.1:port (read from the kernel's table, so the server
// sees no connection it did not ask for).
inline bool Listening(int port) {
  char want[16];
  std::snprintf(want, sizeof want, ":%04X ", port);
  std::ifstream f("/proc/net/tcp");
  for (std::string line; std::getline(f, line);)
    if (line.find("0100007F" + std::string(want)) != std::string::npos && line.find(" 0A ") != std::string::npos)
      return true;
  return false;
}

class Ser2net {
 public:
  // Serves `device` at 19200 8E1 on two free loopback ports: RFC 2217 and raw.
  Ser2net(const std::string& device, const std::string& dir) : rfcPort(FreePort()), rawPort(FreePort()) {
    const std::string config = dir + "/ser2net.yaml";
    std::ofstream(config) << "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfcPort
                          << "\n  connector: serialdev," << device << ",19200e81,local\n"
                          << "connection: &raw\n  accepter: tcp,127.0.0.1," << rawPort << "\n  connector: serialdev,"
                          << device << ",19200e81,local\n";
    server_ = std::make_unique<Background>(std::vector<std::string>{kSer2net, "-n", "-d", "-c", config},
                                           dir + "/ser2net.out", false);
    ready = WaitFor([&] { return Listening(rfcPort) && Listening(rawPort); }, std::chrono::seconds(10));
  }
  std::string rfc() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort); }
  std::string raw() const { return "tcp://127.0.0.1:" + std::to_string(rawPort); }
  void kill() { server_.reset(); }

  int rfcPort, rawPort;
  bool ready = false;

 private:
  std::unique_ptr<Background> server_;
};

// Accepts connections (the kernel does, from its backlog) and never answers.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      throw std::runtime_error("cannot listen");
    port = ntohs(a.sin_port);
  }
  ~SilentServer() { ::close(fd_); }
  int port = 0;

 private:
  int fd_ = -1;
};

}  // namespace ostrel::cli::testing
