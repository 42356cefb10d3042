// ostrel-cli on a line that keeps bytes from before: a reply that comes after its wait has
// ended, and one left in the driver's queue by an earlier run, are never taken for the reply
// to a later request.
#include <gtest/gtest.h>
#include <pty.h>

#include <atomic>
#include <filesystem>
#include <regex>

#include "modbus/crc.h"
#include "peers.h"

namespace ostrel::cli::testing {
namespace {

// A function-4 reply of slave 1 carrying one register.
std::string readReply(uint16_t value) {
  std::string frame{'\x01', '\x04', '\x02', static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
  const modbus::CrcBytes crc = modbus::ModbusCrc(frame);
  return frame + static_cast<char>(crc.low) + static_cast<char>(crc.high);
}

// A slave on a pseudo-terminal that answers every request too late, each time with the next
// number, so a record shows which request's reply it took.
class LateSlave {
 public:
  explicit LateSlave(std::chrono::milliseconds delay) : dir(NewMapDir()) {
    char name[64];
    if (openpty(&master_, &peer_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    if (::symlink(name, (dir + "/COM4").c_str()) != 0) throw std::runtime_error("symlink");
    thread_ = std::thread([this, delay] {
      uint16_t next = 1;
      while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buf[256];
        if (::read(master_, buf, sizeof buf) <= 0) continue;
        std::this_thread::sleep_for(delay);
        const std::string reply = readReply(next++);
        if (::write(master_, reply.data(), reply.size()) < 0) break;
      }
    });
  }
  ~LateSlave() {
    stop_ = true;
    thread_.join();
    ::close(peer_);
    ::close(master_);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir;

 private:
  int master_ = -1, peer_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST(CliStaleReplies, ALateReplyIsNeverTakenForTheNextRequests) {
  // Each reply comes 150 ms after its request, the wait ends after 100 ms.
  LateSlave slave(std::chrono::milliseconds(150));
  const Result r = RunCli({"read", "--port", "COM4", "--count", "1", "--every", "0.1", "--for", "1.5", "--timeout",
                           "100", "--format", "jsonl", "-q"});
  EXPECT_EQ(r.code, 1) << r.err;
  const auto lines = Lines(r.out);
  ASSERT_GE(lines.size(), 3u) << r.out;
  for (const auto& line : lines)
    EXPECT_NE(line.find("\"ok\": false, \"error\": \"no reply from slave 1 within 100 ms\""), std::string::npos)
        << line;
}

}  // namespace
}  // namespace ostrel::cli::testing
