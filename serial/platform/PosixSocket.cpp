#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "serial/platform/Socket.h"

namespace ostrel::serial {

struct TVaSocket::Impl {
  int fd = -1;
  int wake[kSlots] = {-1, -1, -1};
  ~Impl() {
    if (fd >= 0) ::close(fd);
    for (int w : wake)
      if (w >= 0) ::close(w);
  }
};

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// One address tried within the deadline: the socket connected, or -1 with err.
int connectOne(const addrinfo* ai, Clock::time_point deadline, int& err) {
  int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
  if (fd < 0) {
    err = errno;
    return -1;
  }
  int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    do rc = ::poll(&p, 1, msLeft(deadline));
    while (rc < 0 && errno == EINTR);
    int soErr = 0;
    socklen_t len = sizeof soErr;
    if (rc == 0)
      soErr = ETIMEDOUT;
    else if (rc < 0)
      soErr = errno;
    else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0)
      soErr = errno;
    rc = soErr == 0 ? 0 : -1;
    errno = soErr;
  }
  if (rc != 0) {
    err = errno;
    ::close(fd);
    return -1;
  }
  // Small frames go out at once: a request is never held back waiting for an acknowledgement.
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

}  // namespace

TVaSocket::TVaSocket(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TVaSocket::~TVaSocket() = default;

std::unique_ptr<TVaSocket> TVaSocket::Connect(const std::string& host, uint16_t port, int timeoutMs, int& err) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
  addrinfo* list = nullptr;
  const int gai = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (gai != 0) {
    err = gai == EAI_SYSTEM ? errno : ENOENT;
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  err = ETIMEDOUT;
  for (const addrinfo* ai = list; ai && impl->fd < 0 && Clock::now() < deadline; ai = ai->ai_next)
    impl->fd = connectOne(ai, deadline, err);
  ::freeaddrinfo(list);
  if (impl->fd < 0) return nullptr;
  for (int& w : impl->wake) {
    w = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (w < 0) {
      err = errno;
      return nullptr;
    }
  }
  err = 0;
  return std::unique_ptr<TVaSocket>(new TVaSocket(std::move(impl)));
}

int TVaSocket::send(const uint8_t* data, size_t count, size_t& sent) {
  sent = 0;
  for (;;) {
    const ssize_t r = ::send(impl_->fd, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (r >= 0) {
      sent = static_cast<size_t>(r);
      return 0;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return errno == EPIPE ? ECONNRESET : errno;
  }
}

int TVaSocket::recv(uint8_t* buf, size_t count, size_t& got) {
  got = 0;
  for (;;) {
    const ssize_t r = ::recv(impl_->fd, buf, count, MSG_DONTWAIT);
    if (r > 0) {
      got = static_cast<size_t>(r);
      return 0;
    }
    if (r == 0) return ECONNRESET;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return errno;
  }
}

int TVaSocket::wait(Slot slot, bool wantRead, bool wantWrite, int timeoutMs, Ready& ready) {
  ready = {};
  const short events = static_cast<short>((wantRead ? POLLIN : 0) | (wantWrite ? POLLOUT : 0));
  pollfd p[2] = {{impl_->fd, events, 0}, {impl_->wake[slot], POLLIN, 0}};
  if (::poll(p, 2, timeoutMs) < 0) return errno == EINTR ? 0 : errno;
  if (p[1].revents & POLLIN) {
    uint64_t v;
    [[maybe_unused]] ssize_t r = ::read(impl_->wake[slot], &v, sizeof v);
    ready.woken = true;
  }
  ready.readable = (p[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  ready.writable = (p[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0;
  return 0;
}

void TVaSocket::wake(Slot slot) {
  uint64_t one = 1;
  [[maybe_unused]] ssize_t r = ::write(impl_->wake[slot], &one, sizeof one);
}

size_t TVaSocket::unacknowledged() {
  int n = 0;
  return ::ioctl(impl_->fd, SIOCOUTQ, &n) == 0 && n > 0 ? static_cast<size_t>(n) : 0;
}

void TVaSocket::shutdown() { ::shutdown(impl_->fd, SHUT_RDWR); }

}  // namespace ostrel::serial
