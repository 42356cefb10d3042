#pragma once
// A connected TCP socket of the operating system, the one thing a network port needs of it.
// Ostrel only connects out: nothing here listens. Each platform's socket file supplies it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace ostrel::serial {

class TVaSocket {
 public:
  // Each thread that waits on the socket has a slot of its own, so a wake ends its wait only.
  enum Slot { EventSlot = 0, WriteSlot = 1, MainSlot = 2, kSlots = 3 };

  // Resolves `host` and connects to it within timeoutMs. Returns nullptr and sets err (an errno
  // value) on failure: ENOENT for a host name that does not resolve, ECONNREFUSED, ETIMEDOUT,
  // EHOSTUNREACH, ENETUNREACH as the system reports them.
  static std::unique_ptr<TVaSocket> Connect(const std::string& host, uint16_t port, int timeoutMs, int& err);
  ~TVaSocket();
  TVaSocket(const TVaSocket&) = delete;
  TVaSocket& operator=(const TVaSocket&) = delete;

  // Never block. send: `sent` bytes taken (0 when the system has no room). recv: `got` bytes;
  // a peer that closed answers ECONNRESET. Other failures are errno values.
  int send(const uint8_t* data, size_t count, size_t& sent);
  int recv(uint8_t* buf, size_t count, size_t& got);

  struct Ready {
    bool readable = false, writable = false, woken = false;
  };
  // Waits at most timeoutMs (negative: no limit) until the socket is readable (wantRead), has
  // room (wantWrite), or wake(slot) was called; a peer that closed counts as readable.
  int wait(Slot slot, bool wantRead, bool wantWrite, int timeoutMs, Ready& ready);
  // Any thread: ends the slot's wait in progress, or its next one.
  void wake(Slot slot);
  // Bytes the system holds that the peer has not acknowledged (0 where it cannot tell).
  size_t unacknowledged();
  // Ends the connection both ways; waits in progress see the socket readable.
  void shutdown();

 private:
  struct Impl;
  explicit TVaSocket(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace ostrel::serial
