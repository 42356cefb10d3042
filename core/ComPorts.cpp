#include "core/ComPorts.h"

#include <cctype>

namespace ostrel {
namespace {

// The four hexadecimal digits after `key` ("VID_"), in upper case, or "".
std::string hexAfter(const std::string& id, const char* key) {
  const size_t at = id.find(key);
  if (at == std::string::npos || at + 8 > id.size()) return {};
  std::string digits = id.substr(at + 4, 4);
  for (char& c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return {};
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return digits;
}

}  // namespace

UsbIdentity UsbIdentityOf(const std::string& instanceId) {
  std::string id = instanceId;
  for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  UsbIdentity out;
  const std::string vid = hexAfter(id, "VID_"), pid = hexAfter(id, "PID_");
  if (vid.empty() || pid.empty()) return out;
  out.usbId = vid + ":" + pid;
  // "USB\VID_..&PID_..\SERIAL": the third segment; "FTDIBUS\VID_..+PID_..+SERIAL\0000": the
  // third field of the second segment.
  const size_t first = instanceId.find('\\');
  const size_t second = first == std::string::npos ? first : instanceId.find('\\', first + 1);
  std::string serial;
  if (id.rfind("USB\\", 0) == 0 && second != std::string::npos) {
    serial = instanceId.substr(second + 1);
  } else if (first != std::string::npos) {
    const std::string segment = instanceId.substr(first + 1, second == std::string::npos ? second : second - first - 1);
    const size_t plus = segment.find('+', segment.find('+') + 1);
    if (segment.find('+') != std::string::npos && plus != std::string::npos) serial = segment.substr(plus + 1);
  }
  if (serial.find('&') == std::string::npos) out.serialNumber = serial;
  return out;
}

}  // namespace ostrel
