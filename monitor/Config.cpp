#include "monitor/Config.h"

#include <fstream>
#include <set>
#include <sstream>

#include "common/Text.h"
#include "core/IniText.h"
#include "core/LineDefaults.h"

namespace ostrel::monitor {
namespace {

using core::IniEntry;
using core::IniSection;

constexpr int kMaxRegisterAddress = 65535;
constexpr int kRegistersPerRead = 125;

class Reader {
 public:
  explicit Reader(const std::string& file) : file_(file) {}

  [[noreturn]] void fail(int line, const std::string& reason) const {
    throw ConfigError(file_ + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + reason);
  }

  // Every key of the section must be one of `known`.
  void onlyKnown(const IniSection& s, std::initializer_list<const char*> known) const {
    for (const auto& e : s.entries) {
      bool ok = false;
      for (const char* k : known) ok = ok || AsciiLower(e.key) == k;
      if (!ok) fail(e.line, "unknown key '" + e.key + "' in [" + s.name + "]");
    }
  }

  long number(const IniEntry& e, long lo, long hi) const {
    long v = 0;
    if (!cli::ParseWhole(e.value, lo, hi, v))
      fail(e.line, e.key + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                       " (got '" + e.value + "')");
    return v;
  }

  bool yesNo(const IniEntry& e) const {
    const std::string v = AsciiLower(e.value);
    if (v == "yes" || v == "true" || v == "on" || v == "1") return true;
    if (v == "no" || v == "false" || v == "off" || v == "0") return false;
    fail(e.line, e.key + " takes yes or no (got '" + e.value + "')");
  }

  // Seconds, with a fraction allowed ("0.5"), within lo..hi seconds.
  std::chrono::milliseconds seconds(const IniEntry& e, double lo, double hi) const {
    std::istringstream in(e.value);
    double s = 0;
    char rest = 0;
    if (!(in >> s) || (in >> rest) || s < lo || s > hi)
      fail(e.line, e.key + " must be seconds from " + trimmed(lo) + " to " + trimmed(hi) + " (got '" + e.value + "')");
    return std::chrono::milliseconds(static_cast<long long>(s * 1000 + 0.5));
  }

  std::string text(const IniEntry& e) const {
    if (e.value.empty()) fail(e.line, e.key + " must not be empty");
    return e.value;
  }

  // A file named beside the configuration when its path is relative; its first line.
  std::string firstLineOf(const IniEntry& e) const {
    const std::string path = besideConfig(text(e));
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) fail(e.line, "cannot read " + e.key + " " + path);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
  }

  std::string besideConfig(const std::string& path) const {
    if (path.empty() || path[0] == '/') return path;
    const auto slash = file_.rfind('/');
    return slash == std::string::npos ? path : file_.substr(0, slash + 1) + path;
  }

 private:
  static std::string trimmed(double v) {
    std::ostringstream o;
    o << v;
    return o.str();
  }
  std::string file_;
};

void readBrokerUrl(const Reader& r, const IniEntry& e, BrokerConfig& b) {
  std::string rest;
  if (e.value.rfind("mqtt://", 0) == 0) {
    rest = e.value.substr(7);
  } else if (e.value.rfind("mqtts://", 0) == 0) {
    rest = e.value.substr(8);
    b.tls = true;
    b.port = 8883;
  } else {
    r.fail(e.line, "url must be mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (got '" + e.value + "')");
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  const auto colon = rest.rfind(':');
  const bool bracketed = !rest.empty() && rest[0] == '[';  // [::1]:1883
  if (colon != std::string::npos && (!bracketed || rest[colon - 1] == ']')) {
    long port = 0;
    if (!cli::ParseWhole(rest.substr(colon + 1), 1, 65535, port))
      r.fail(e.line, "the broker's port must be 1 .. 65535 (got '" + rest.substr(colon + 1) + "')");
    b.port = static_cast<int>(port);
    rest = rest.substr(0, colon);
  }
  if (bracketed && rest.size() > 2 && rest.back() == ']') rest = rest.substr(1, rest.size() - 2);
  if (rest.empty() || rest.find_first_of("/@ ") != std::string::npos)
    r.fail(e.line, "the broker url names no host (got '" + e.value + "')");
  b.host = rest;
}

// A name that is one topic level and one word in a unit's instance: letters, digits, '-', '_'.
bool topicSafe(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

void readBroker(const Reader& r, const IniSection& s, Config& c) {
  r.onlyKnown(s, {"url", "client_id", "user", "password_file", "ca_file", "topic_prefix", "keepalive", "queue",
                  "home_assistant", "discovery_prefix"});
  BrokerConfig& b = c.broker;
  const IniEntry* url = s.find("url");
  if (!url) r.fail(s.line, "[broker] needs url = mqtt://HOST[:PORT]");
  readBrokerUrl(r, *url, b);
  if (auto* e = s.find("client_id")) b.clientId = r.text(*e);
  if (auto* e = s.find("user")) b.user = r.text(*e);
  if (auto* e = s.find("password_file")) {
    if (b.user.empty()) r.fail(e->line, "password_file needs user");
    b.password = r.firstLineOf(*e);
  }
  if (auto* e = s.find("ca_file")) {
    if (!b.tls) r.fail(e->line, "ca_file needs an mqtts:// url");
    b.caFile = r.besideConfig(r.text(*e));
    if (!std::ifstream(b.caFile)) r.fail(e->line, "cannot read ca_file " + b.caFile);
  }
  if (auto* e = s.find("topic_prefix")) {
    c.prefix = r.text(*e);
    if (c.prefix.find_first_of("+#") != std::string::npos || c.prefix.front() == '/' || c.prefix.back() == '/')
      r.fail(e->line, "topic_prefix must not hold '+' or '#' nor begin or end with '/'");
  }
  if (auto* e = s.find("keepalive")) b.keepaliveS = static_cast<int>(r.number(*e, 5, 3600));
  if (auto* e = s.find("queue")) b.queueLimit = static_cast<size_t>(r.number(*e, 10, 1000000));
  if (auto* e = s.find("home_assistant")) b.homeAssistant = r.yesNo(*e);
  if (auto* e = s.find("discovery_prefix")) b.discoveryPrefix = r.text(*e);
}

std::vector<RegisterRange> readRanges(const Reader& r, const IniEntry& e) {
  std::vector<RegisterRange> ranges;
  std::istringstream in(e.value);
  std::string item;
  while (std::getline(in, item, ',')) {
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    const auto dash = item.find('-');
    long first = 0, last = 0;
    const bool ok = dash == std::string::npos
                        ? cli::ParseWhole(item, 0, kMaxRegisterAddress, first) && (last = first, true)
                        : cli::ParseWhole(item.substr(0, dash), 0, kMaxRegisterAddress, first) &&
                              cli::ParseWhole(item.substr(dash + 1), 0, kMaxRegisterAddress, last);
    if (!ok || last < first)
      r.fail(e.line, "registers takes FIRST-LAST or single registers 0 .. 65535, comma separated (got '" + item + "')");
    for (long at = first; at <= last; at += kRegistersPerRead)
      ranges.push_back({static_cast<int>(at), static_cast<int>(std::min<long>(kRegistersPerRead, last - at + 1))});
  }
  if (ranges.empty()) r.fail(e.line, "registers names no register");
  return ranges;
}

cli::LineSettings readLine(const Reader& r, const IniSection& s, const std::string& which,
                           const LineDefaults& defaults) {
  cli::LineSettings line{static_cast<long>(defaults.speed), defaults.parity, defaults.stop};
  if (auto* e = s.find(which + "_speed")) line.speed = r.number(*e, 50, 4000000);
  if (auto* e = s.find(which + "_parity")) {
    bool known = false;
    for (const auto& named : serial::kParityNames) {
      if (AsciiLower(e->value) == AsciiLower(named.name)) {
        line.parity = named.parity;
        known = true;
      }
    }
    if (!known) r.fail(e->line, e->key + " takes none, even, odd, mark or space (got '" + e->value + "')");
  }
  if (auto* e = s.find(which + "_stop")) {
    if (e->value == "1")
      line.stop = serial::sb1;
    else if (e->value == "2")
      line.stop = serial::sb2;
    else if (e->value == "1.5")
      line.stop = serial::sb15;
    else
      r.fail(e->line, e->key + " takes 1, 1.5 or 2 (got '" + e->value + "')");
  }
  return line;
}

PanelConfig readPanel(const Reader& r, const IniSection& s) {
  r.onlyKnown(s, {"modbus_port", "modbus_speed", "modbus_parity", "modbus_stop", "slave", "registers", "period",
                  "timeout", "snapshot", "silent_after", "panel_port", "panel_speed", "panel_parity", "panel_stop",
                  "scan_period", "allow_commands"});
  PanelConfig p;
  p.name = s.name;
  p.line = s.line;
  if (!topicSafe(p.name))
    r.fail(s.line, "a panel's name is one word of letters, digits, '-' and '_' (got [" + p.name + "])");
  const IniEntry* port = s.find("modbus_port");
  if (!port) r.fail(s.line, "[" + p.name + "] needs modbus_port (a COM name, a device or a network URL)");
  p.modbusPort = r.text(*port);
  p.modbusLine = readLine(r, s, "modbus", kModbusLineDefaults);
  if (auto* e = s.find("slave")) p.slave = static_cast<int>(r.number(*e, 1, 247));
  const IniEntry* regs = s.find("registers");
  if (!regs) r.fail(s.line, "[" + p.name + "] needs registers, e.g. registers = 1-250");
  p.registers = readRanges(r, *regs);
  if (auto* e = s.find("period")) p.period = r.seconds(*e, 0.1, 3600);
  if (auto* e = s.find("timeout")) p.timeout = std::chrono::milliseconds(r.number(*e, 10, 60000));
  if (auto* e = s.find("snapshot")) p.snapshot = r.seconds(*e, 0.1, 86400);
  if (auto* e = s.find("silent_after")) p.silentAfter = static_cast<int>(r.number(*e, 1, 1000));
  if (auto* e = s.find("panel_port")) p.panelPort = r.text(*e);
  p.panelLine = readLine(r, s, "panel", kPanelLineDefaults);
  if (auto* e = s.find("scan_period")) {
    if (p.panelPort.empty()) r.fail(e->line, "scan_period needs panel_port");
    p.scanPeriod = std::chrono::duration_cast<std::chrono::seconds>(r.seconds(*e, 10, 7 * 86400));
  }
  if (auto* e = s.find("allow_commands")) p.allowCommands = r.yesNo(*e);
  return p;
}

bool sameLine(const cli::LineSettings& a, const cli::LineSettings& b) {
  return a.speed == b.speed && a.parity == b.parity && a.stop == b.stop;
}

// Panels behind one port share it, so they must agree on its line; a port carries one protocol.
void checkPorts(const Reader& r, const Config& c) {
  for (size_t i = 0; i < c.panels.size(); ++i) {
    const PanelConfig& p = c.panels[i];
    if (p.panelPort == p.modbusPort) r.fail(p.line, "[" + p.name + "] names one port for Modbus and the panel link");
    for (size_t j = 0; j < i; ++j) {
      const PanelConfig& q = c.panels[j];
      if (q.modbusPort == p.modbusPort && q.slave == p.slave)
        r.fail(p.line, "[" + p.name + "] and [" + q.name + "] are both slave " + std::to_string(p.slave) + " on " +
                           p.modbusPort);
      if (q.modbusPort == p.modbusPort && !sameLine(q.modbusLine, p.modbusLine))
        r.fail(p.line, "[" + p.name + "] and [" + q.name + "] share " + p.modbusPort + " with other line settings");
      if (!p.panelPort.empty() && (q.panelPort == p.panelPort || q.modbusPort == p.panelPort))
        r.fail(p.line, "[" + p.name + "] scans " + p.panelPort + ", which [" + q.name + "] uses too");
      if (!q.panelPort.empty() && q.panelPort == p.modbusPort)
        r.fail(p.line, "[" + p.name + "] reads Modbus on " + p.modbusPort + ", which [" + q.name + "] scans");
    }
  }
}

}  // namespace

Config ParseConfig(const std::string& file, const std::string& text) {
  const Reader r(file);
  const core::IniText ini = core::ParseIni(text);
  if (ini.error) r.fail(ini.error->line, ini.error->reason);
  Config c;
  c.file = file;
  if (!ini.sections.front().entries.empty())
    r.fail(ini.sections.front().entries.front().line, "entries before the first section: start with [broker]");
  bool broker = false;
  for (size_t k = 1; k < ini.sections.size(); ++k) {
    const IniSection& s = ini.sections[k];
    if (AsciiLower(s.name) == "broker") {
      readBroker(r, s, c);
      broker = true;
    } else {
      c.panels.push_back(readPanel(r, s));
    }
  }
  if (!broker) r.fail(0, "no [broker] section");
  if (c.panels.empty()) r.fail(0, "no panel: add a section [NAME] with modbus_port and registers");
  checkPorts(r, c);
  return c;
}

Config LoadConfig(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ConfigError(file + ": cannot be read");
  constexpr size_t kLargest = 1 << 20;
  std::string text(kLargest + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kLargest) throw ConfigError(file + ": larger than 1 MB, not a configuration");
  return ParseConfig(file, text);
}

}  // namespace ostrel::monitor
