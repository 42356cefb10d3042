#pragma once
// The monitor's configuration: the broker, the topic prefix and each panel, read from an INI
// file. Everything is checked at start; a bad file is refused with its name, line and reason.
#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/CliPort.h"

namespace ostrel::monitor {

struct RegisterRange {
  int first = 1;  // the first register's address on the wire (its number in the decode)
  int count = 1;
};

struct BrokerConfig {
  bool tls = false;  // mqtts://
  std::string host = "localhost";
  int port = 1883;
  std::string clientId = "ostrel-monitor";
  std::string user;
  std::string password;  // read from password_file at start
  std::string caFile;
  int keepaliveS = 30;
  size_t queueLimit = 1000;  // messages held per panel while the broker cannot take them
  bool homeAssistant = false;
  std::string discoveryPrefix = "homeassistant";
};

struct PanelConfig {
  std::string name;  // the section's name; one topic level
  int line = 0;      // where its section starts
  std::string modbusPort;
  cli::LineSettings modbusLine;
  int slave = 1;
  std::vector<RegisterRange> registers;
  std::chrono::milliseconds period{1000};
  std::chrono::milliseconds timeout{0};  // 0: the reply's wire time plus 600 ms
  std::chrono::milliseconds snapshot{60000};
  int silentAfter = 3;    // failed read-outs in a row after which the panel is offline
  std::string panelPort;  // empty: no scan
  cli::LineSettings panelLine;
  std::chrono::seconds scanPeriod{3600};
  bool allowCommands = false;
};

struct Config {
  std::string file;
  BrokerConfig broker;
  std::string prefix = "ostrel";
  std::vector<PanelConfig> panels;
};

// "FILE:LINE: reason" (or "FILE: reason" for the whole file).
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the text of `file`; relative password and CA files are taken from the file's folder.
// Throws ConfigError.
Config ParseConfig(const std::string& file, const std::string& text);
// Reads and parses the file; throws ConfigError when it cannot be read.
Config LoadConfig(const std::string& file);

}  // namespace ostrel::monitor
