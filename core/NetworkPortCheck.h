#pragma once
// The Serial ports dialog's test of a network port: connect, ask a serial device server for
// its present line settings (without changing them), and say what came back, in words.
#include <string>

namespace ostrel {

struct NetworkPortCheck {
  bool ok = false;
  std::string message;
};

NetworkPortCheck CheckNetworkPort(const std::string& url);

}  // namespace ostrel
