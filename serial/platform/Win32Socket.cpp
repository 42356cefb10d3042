#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

#include "serial/platform/Socket.h"

namespace ostrel::serial {

struct TVaSocket::Impl {
  SOCKET s = INVALID_SOCKET;
  std::atomic<bool> wake[kSlots] = {false, false, false};
  ~Impl() {
    if (s != INVALID_SOCKET) ::closesocket(s);
  }
};

namespace {

using Clock = std::chrono::steady_clock;

// A wait looks at the wake flags this often: Winsock cannot wait on a socket and an event of
// our own in one poll.
constexpr int kWakeLookMs = 10;

int msLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

int errnoOf(int wsa) {
  switch (wsa) {
    case WSAEWOULDBLOCK: return EAGAIN;
    case WSAECONNREFUSED: return ECONNREFUSED;
    case WSAETIMEDOUT: return ETIMEDOUT;
    case WSAEHOSTUNREACH: return EHOSTUNREACH;
    case WSAENETUNREACH: return ENETUNREACH;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAESHUTDOWN:
    case WSAENOTCONN: return ECONNRESET;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA: return ENOENT;
    default: return EIO;
  }
}

bool startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET connectOne(const addrinfo* ai, Clock::time_point deadline, int& err) {
  SOCKET s = ::socket(ai->ai_family, ai->ai_socktype, ai->ai_protocol);
  if (s == INVALID_SOCKET) {
    err = errnoOf(::WSAGetLastError());
    return s;
  }
  u_long nonBlocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
  int rc = ::connect(s, ai->ai_addr, static_cast<int>(ai->ai_addrlen));
  if (rc != 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) {
    WSAPOLLFD p{s, POLLWRNORM, 0};
    rc = ::WSAPoll(&p, 1, msLeft(deadline));
    int soErr = 0;
    int len = sizeof soErr;
    if (rc == 0)
      soErr = WSAETIMEDOUT;
    else if (rc < 0)
      soErr = ::WSAGetLastError();
    else if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len) != 0)
      soErr = ::WSAGetLastError();
    if (soErr != 0) {
      err = errnoOf(soErr);
      ::closesocket(s);
      return INVALID_SOCKET;
    }
  } else if (rc != 0) {
    err = errnoOf(::WSAGetLastError());
    ::closesocket(s);
    return INVALID_SOCKET;
  }
  BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return s;
}

}  // namespace

TVaSocket::TVaSocket(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
TVaSocket::~TVaSocket() = default;

std::unique_ptr<TVaSocket> TVaSocket::Connect(const std::string& host, uint16_t port, int timeoutMs, int& err) {
  if (!startWinsock()) {
    err = EIO;
    return nullptr;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  if (const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list); rc != 0) {
    err = errnoOf(rc);
    if (err == EIO) err = ENOENT;
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  err = ETIMEDOUT;
  for (const addrinfo* ai = list; ai && impl->s == INVALID_SOCKET && Clock::now() < deadline; ai = ai->ai_next)
    impl->s = connectOne(ai, deadline, err);
  ::freeaddrinfo(list);
  if (impl->s == INVALID_SOCKET) return nullptr;
  err = 0;
  return std::unique_ptr<TVaSocket>(new TVaSocket(std::move(impl)));
}

int TVaSocket::send(const uint8_t* data, size_t count, size_t& sent) {
  sent = 0;
  const int r = ::send(impl_->s, reinterpret_cast<const char*>(data), static_cast<int>(count), 0);
  if (r >= 0) {
    sent = static_cast<size_t>(r);
    return 0;
  }
  const int e = errnoOf(::WSAGetLastError());
  return e == EAGAIN ? 0 : e;
}

int TVaSocket::recv(uint8_t* buf, size_t count, size_t& got) {
  got = 0;
  const int r = ::recv(impl_->s, reinterpret_cast<char*>(buf), static_cast<int>(count), 0);
  if (r > 0) {
    got = static_cast<size_t>(r);
    return 0;
  }
  if (r == 0) return ECONNRESET;
  const int e = errnoOf(::WSAGetLastError());
  return e == EAGAIN ? 0 : e;
}

int TVaSocket::wait(Slot slot, bool wantRead, bool wantWrite, int timeoutMs, Ready& ready) {
  ready = {};
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (impl_->wake[slot].exchange(false)) {
      ready.woken = true;
      return 0;
    }
    const int slice = timeoutMs < 0 ? kWakeLookMs : std::min(kWakeLookMs, msLeft(deadline));
    WSAPOLLFD p{impl_->s, static_cast<SHORT>((wantRead ? POLLRDNORM : 0) | (wantWrite ? POLLWRNORM : 0)), 0};
    const int rc = (wantRead || wantWrite) ? ::WSAPoll(&p, 1, slice) : (::Sleep(static_cast<DWORD>(slice)), 0);
    if (rc < 0) return errnoOf(::WSAGetLastError());
    if (rc > 0) {
      ready.readable = (p.revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
      ready.writable = (p.revents & (POLLWRNORM | POLLHUP | POLLERR)) != 0;
      return 0;
    }
    if (timeoutMs >= 0 && msLeft(deadline) == 0) return 0;
  }
}

void TVaSocket::wake(Slot slot) { impl_->wake[slot] = true; }

size_t TVaSocket::unacknowledged() { return 0; }

void TVaSocket::shutdown() { ::shutdown(impl_->s, SD_BOTH); }

}  // namespace ostrel::serial
