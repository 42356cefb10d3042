#include "cli/NetworkPort.h"

#include <atomic>

#include "cli/Exit.h"
#include "modbus/mbap.h"
#include "serial/NetworkAddress.h"
#include "serial/NetworkDevice.h"

namespace ostrel::cli {

using namespace serial;

namespace {

// Serial frames out as Modbus TCP frames, each with the next transaction id; of the frames
// that come back only the answer to the last request passes, as a serial frame: a late answer
// to an earlier request is dropped, never taken for the present one.
class MbapTransform : public TVaStreamTransform {
 public:
  std::string outgoing(const std::string& written) override {
    out_ += written;
    std::string frame = modbus::MbapFromRtu(out_, static_cast<uint16_t>(transaction_.load() + 1));
    if (frame.empty()) {
      // Bytes that can never complete a frame (no frame is longer) are not sent at all.
      if (out_.size() > 256) out_.clear();
      return {};
    }
    ++transaction_;
    out_.clear();
    return frame;
  }
  std::string incoming(const std::string& received) override {
    in_ += received;
    std::string out;
    for (;;) {
      const size_t n = modbus::MbapFrameLength(in_);
      if (n == 0) break;
      if (n == std::string::npos) {
        in_.clear();  // not Modbus TCP: nothing in it can be trusted as a reply
        break;
      }
      out += modbus::RtuFromMbap(in_.substr(0, n), transaction_);
      in_.erase(0, n);
    }
    return out;
  }
  void reset() override { in_.clear(); }

 private:
  std::string out_, in_;  // out_ on the writing thread, in_ on the reading one
  std::atomic<uint16_t> transaction_{0};
};

}  // namespace

std::optional<PortLocation> NetworkLocation(const std::string& name, const std::string& target) {
  if (!IsNetworkUrl(target)) return std::nullopt;
  std::string why;
  const auto address = ParseNetworkUrl(target, why);
  if (!address) throw UsageError("unknown port '" + name + "': " + why);
  PortLocation l;
  l.device = address->url();
  l.where = name == target ? l.device : name + " (" + l.device + ")";
  l.noun = "network port";
  l.modbusOnly = address->kind == TVaNetworkKind::ModbusTcp;
  return l;
}

std::string NetworkOpenFailureText(const PortLocation& port, int err) {
  const std::string who = "the network port " + port.where;
  switch (err) {
    case ENOENT: return "cannot reach " + who + ": the host name is not known (check the name, or give its address)";
    case ECONNREFUSED:
      return "cannot reach " + who +
             ": the server refused the connection (is the port number right, is the server running?)";
    case ETIMEDOUT:
      return "cannot reach " + who + ": no answer within " + std::to_string(kConnectMs / 1000) +
             " s (is the server running, and is the address right?)";
    case EHOSTUNREACH:
    case ENETUNREACH: return "cannot reach " + who + ": there is no route to that host from this computer";
    case EPROTONOSUPPORT:
      return "cannot use " + who + ": the server refused the serial-port control option (use tcp:// for a raw server)";
    default: return {};
  }
}

TVaDevicePtr OpenNetworkPort(const std::string& url, int& err) {
  std::string why;
  auto address = ParseNetworkUrl(url, why);
  if (!address) {
    err = EINVAL;
    return nullptr;
  }
  if (address->kind != TVaNetworkKind::ModbusTcp) return TVaNetworkDevice::open(*address, err);
  address->kind = TVaNetworkKind::Raw;
  return TVaNetworkDevice::open(*address, err, std::make_unique<MbapTransform>());
}

}  // namespace ostrel::cli
