#pragma once
// Two linked system devices for the tests, opened and configured the way the port does it,
// and the small waits the tests share.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "TestPorts.h"
#include "serial/platform/SystemDevice.h"

namespace ostrel::serial::test {

using namespace std::chrono_literals;

// Polls pred until it holds or the time is up; returns pred().
inline bool eventually(const std::function<bool()>& pred, std::chrono::milliseconds limit = 5000ms) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return pred();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Every byte value in each 256 bytes, in an order that shifts from one 256 to the next, so a
// byte lost, doubled or moved anywhere shows.
inline std::string pattern(size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 167 + (i >> 8) * 13 + seed * 61) & 0xFF);
  return s;
}

// The line the tests use: 9600 baud, 8 data bits, no parity, one stop bit, binary, no handshake.
inline TVaDcb plainLine() {
  TVaDcb d;
  d.BaudRate = 9600;
  d.ByteSize = 8;
  d.Flags = dcb::Binary;
  d.XonChar = 17;
  d.XoffChar = 19;
  d.XonLim = d.XoffLim = 1024;
  return d;
}

// Opens a device and configures it as the port does at open.
inline TVaDevicePtr openConfigured(const std::string& name, uint32_t mask = ev::RxChar | ev::TxEmpty | ev::Err) {
  int err = -1;
  TVaDevicePtr d = OpenSystemDevice(name, err);
  EXPECT_TRUE(d) << name << ": error " << err;
  if (!d) return nullptr;
  EXPECT_EQ(d->applyLineConfiguration(plainLine()), 0);
  EXPECT_EQ(d->setQueueSizes(4096, 2048), 0);
  EXPECT_EQ(d->setNonBlockingTimeouts(), 0);
  EXPECT_EQ(d->setEventMask(mask), 0);
  return d;
}

// Writes with the given limit (none by default); returns the count the device took.
inline size_t send(TVaDevice& d, const std::string& s, int timeoutMs = -1) {
  size_t written = 0;
  EXPECT_EQ(d.write(reinterpret_cast<const uint8_t*>(s.data()), s.size(), timeoutMs, written), 0);
  return written;
}

// Appends what has arrived, up to a total of n bytes; true once there are n.
inline bool takeArrived(TVaDevice& d, std::string& into, size_t n) {
  uint8_t buf[8192];
  size_t got = 0;
  while (into.size() < n && d.read(buf, std::min(sizeof buf, n - into.size()), got) == 0 && got > 0)
    into.append(reinterpret_cast<char*>(buf), got);
  return into.size() >= n;
}

// Reads until n bytes have arrived or the time is up.
inline std::string receive(TVaDevice& d, size_t n, std::chrono::milliseconds limit = 10000ms) {
  std::string out;
  eventually([&] { return takeArrived(d, out, n); }, limit);
  return out;
}

inline uint32_t inputQueued(TVaDevice& d) {
  uint32_t errors = 0;
  TVaComStat stat;
  EXPECT_EQ(d.clearError(errors, stat), 0);
  return stat.InQue;
}

// Where two byte strings first differ, for failure messages that binary data would garble.
inline std::string firstDifference(const std::string& got, const std::string& want) {
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  return "got " + std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) + "; they part at byte " +
         std::to_string(i);
}

// Two linked devices, opened and configured; skipped where the machine offers no linked ports.
struct DevicePairTest : ::testing::Test {
  const TestPorts& ports = LinkedPorts();
  TVaDevicePtr a, b;

  void SetUp() override {
    if (!ports.skipReason.empty()) GTEST_SKIP() << ports.skipReason;
    ASSERT_EQ(ports.failure, "");
    a = openConfigured(ports.a);
    b = openConfigured(ports.b);
    ASSERT_TRUE(a && b);
    // Whatever an earlier test left on the line is not this test's.
    EXPECT_EQ(a->purge(purge::RxClear), 0);
    EXPECT_EQ(b->purge(purge::RxClear), 0);
  }
  void TearDown() override {
    if (a) a->close();
    if (b) b->close();
  }
  // Waits for a call running on another thread. One that does not end is ended by closing both
  // devices, so the test fails instead of stalling.
  template <class T>
  bool finishes(std::future<T>& f, std::chrono::milliseconds limit = 5000ms) {
    if (f.wait_for(limit) == std::future_status::ready) return true;
    a->close();
    b->close();
    return false;
  }
};

// A wait for events on another thread: its result and the events.
struct Waited {
  int err = -1;
  uint32_t events = 0;
};
inline std::future<Waited> waitOnAnotherThread(TVaDevice& d) {
  return std::async(std::launch::async, [&d] {
    Waited w;
    w.err = d.waitEvent(w.events);
    return w;
  });
}

// A write on another thread: its result and the count the device took.
struct Wrote {
  int err = -1;
  size_t written = 0;
};
inline std::future<Wrote> writeOnAnotherThread(TVaDevice& d, const std::string& s) {
  return std::async(std::launch::async, [&d, &s] {
    Wrote w;
    w.err = d.write(reinterpret_cast<const uint8_t*>(s.data()), s.size(), -1, w.written);
    return w;
  });
}

}  // namespace ostrel::serial::test
