#pragma once
// A port across the network, named by a URL: "rfc2217://host:port" (a serial device server
// that also carries the line settings), "tcp://host:port" (raw bytes; the server keeps its
// own line settings) and "modbus-tcp://host[:port]" (a Modbus TCP server, port 502 unless
// given). Nothing but the scheme, the host and the port is taken: a URL with a user, a path,
// a query or a fragment is refused, so a name never carries more than it shows.
#include <cstdint>
#include <optional>
#include <string>

namespace ostrel::serial {

enum class TVaNetworkKind { ComPortControl, Raw, ModbusTcp };

struct TVaNetworkAddress {
  TVaNetworkKind kind = TVaNetworkKind::Raw;
  std::string host;  // a host name, a dotted IPv4 address, or an IPv6 address without brackets
  uint16_t port = 0;
  // The URL again, in its usual form ("rfc2217://panel-3:4001").
  std::string url() const;
};

inline constexpr uint16_t kModbusTcpPort = 502;

// True for a name that is meant as a URL (it has "://"), whether valid or not: such a name is
// never a device path.
bool IsNetworkUrl(const std::string& name);

// The address a URL names, or nothing with `why` saying what is wrong, in words for the user.
std::optional<TVaNetworkAddress> ParseNetworkUrl(const std::string& url, std::string& why);

}  // namespace ostrel::serial
