#include "core/NetworkPortCheck.h"

#include <cstring>

#include "serial/NetworkDevice.h"
#include "serial/Telnet.h"

namespace ostrel {

namespace {

using namespace serial;

std::string parityWord(uint8_t v) {
  static const char* const names[] = {"?", "no", "odd", "even", "mark", "space"};
  return v < 6 ? names[v] : "?";
}

std::string stopWord(uint8_t v) { return v == 1 ? "1" : v == 2 ? "2" : v == 3 ? "1.5" : "?"; }

std::string lineWords(const TVaServerLine& l) {
  if (l.baudRate == 0 && l.dataSize == 0) return "it did not tell its line settings";
  return "its line is at " + std::to_string(l.baudRate) + " baud, " + std::to_string(l.dataSize) + " data bits, " +
         parityWord(l.parity) + " parity, " + stopWord(l.stopSize) + " stop bit" + (l.stopSize == 1 ? "" : "s");
}

}  // namespace

NetworkPortCheck CheckNetworkPort(const std::string& url) {
  std::string why;
  const auto address = ParseNetworkUrl(url, why);
  if (!address) return {false, why};
  if (address->kind == TVaNetworkKind::ModbusTcp)
    return {false, "modbus-tcp:// is for ostrel-cli's Modbus commands; a COM name needs rfc2217:// or tcp://"};
  int err = 0;
  const auto device = TVaNetworkDevice::open(*address, err);
  if (!device) {
    std::string text = std::strerror(err);
    if (err == ETIMEDOUT) text = "no answer within " + std::to_string(kConnectMs / 1000) + " s";
    if (err == ENOENT) text = "the host name is not known";
    if (err == EPROTONOSUPPORT) text = "the server refused RFC 2217 (use tcp:// for a raw port)";
    return {false, "Cannot connect to " + address->url() + ": " + text + "."};
  }
  std::string message = "Connected to " + address->url() + ": ";
  if (address->kind == TVaNetworkKind::Raw)
    message += "a raw port; the server keeps the line settings it was given.";
  else
    message += "the server speaks RFC 2217, and " + lineWords(device->queryServerLine(kConfirmMs)) + ".";
  device->close();
  return {true, message};
}

}  // namespace ostrel
