#include "serial/NetworkAddress.h"

#include "common/Text.h"

namespace ostrel::serial {

namespace {

const char* schemeName(TVaNetworkKind k) {
  switch (k) {
    case TVaNetworkKind::ComPortControl: return "rfc2217";
    case TVaNetworkKind::Raw: return "tcp";
    case TVaNetworkKind::ModbusTcp: return "modbus-tcp";
  }
  return "";
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A DNS name or a dotted address: labels of letters, digits and inner hyphens, 1-63 long.
bool validHostName(const std::string& h) {
  if (h.empty() || h.size() > 253) return false;
  size_t start = 0;
  for (;;) {
    size_t dot = h.find('.', start);
    const std::string label = h.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label)
      if (!isAlnum(c) && c != '-') return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

// Hex groups and colons (with one "::" at most), optionally ending in a dotted IPv4 part.
bool validIpv6(const std::string& h) {
  if (h.size() < 2 || h.size() > 45) return false;
  for (char c : h)
    if (!isHex(c) && c != ':' && c != '.') return false;
  return h.find(':') != std::string::npos && h.find(":::") == std::string::npos && h.find("::") == h.rfind("::");
}

bool parsePort(const std::string& s, uint16_t& port) {
  if (s.empty() || s.size() > 5) return false;
  long v = 0;
  for (char c : s) {
    if (!isDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  if (v < 1 || v > 65535) return false;
  port = static_cast<uint16_t>(v);
  return true;
}

}  // namespace

std::string TVaNetworkAddress::url() const {
  const bool v6 = host.find(':') != std::string::npos;
  return std::string(schemeName(kind)) + "://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool IsNetworkUrl(const std::string& name) { return name.find("://") != std::string::npos; }

std::optional<TVaNetworkAddress> ParseNetworkUrl(const std::string& url, std::string& why) {
  const size_t sep = url.find("://");
  if (sep == std::string::npos) {
    why = "'" + url + "' is no URL: give rfc2217://host:port, tcp://host:port or modbus-tcp://host[:port]";
    return std::nullopt;
  }
  TVaNetworkAddress a;
  const std::string scheme = AsciiLower(url.substr(0, sep));
  if (scheme == "rfc2217")
    a.kind = TVaNetworkKind::ComPortControl;
  else if (scheme == "tcp")
    a.kind = TVaNetworkKind::Raw;
  else if (scheme == "modbus-tcp")
    a.kind = TVaNetworkKind::ModbusTcp;
  else {
    why = "unknown kind of network port '" + url.substr(0, sep) + "://': give rfc2217://, tcp:// or modbus-tcp://";
    return std::nullopt;
  }
  const std::string rest = url.substr(sep + 3);
  for (const char* part : {"@", "/", "?", "#"}) {
    if (rest.find(part) != std::string::npos) {
      why = "'" + url + "' holds more than a host and a port: give only " + scheme + "://host:port";
      return std::nullopt;
    }
  }
  std::string host, port;
  if (!rest.empty() && rest[0] == '[') {
    const size_t close = rest.find(']');
    if (close == std::string::npos) {
      why = "'" + url + "': the IPv6 address has no closing ']'";
      return std::nullopt;
    }
    host = rest.substr(1, close - 1);
    if (close + 1 < rest.size() && rest[close + 1] != ':') {
      why = "'" + url + "': only ':port' may follow the IPv6 address";
      return std::nullopt;
    }
    if (close + 1 < rest.size()) port = rest.substr(close + 2);
    if (!validIpv6(host)) {
      why = "'" + host + "' is no IPv6 address";
      return std::nullopt;
    }
  } else {
    const size_t colon = rest.find(':');
    host = rest.substr(0, colon);
    if (colon != std::string::npos) port = rest.substr(colon + 1);
    if (!validHostName(host)) {
      why = host.empty() ? "'" + url + "' names no host" : "'" + host + "' is no valid host name";
      return std::nullopt;
    }
  }
  a.host = host;
  const bool hasPort = rest.find(':', rest[0] == '[' ? rest.find(']') : 0) != std::string::npos;
  if (!hasPort && a.kind == TVaNetworkKind::ModbusTcp) {
    a.port = kModbusTcpPort;
  } else if (!parsePort(port, a.port)) {
    why = port.empty() && !hasPort ? "'" + url + "' names no port: give " + scheme + "://" + rest + ":PORT"
                                   : "'" + port + "' is no port number (1 to 65535)";
    return std::nullopt;
  }
  return a;
}

}  // namespace ostrel::serial
