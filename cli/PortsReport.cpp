#include "cli/PortsReport.h"

#include <algorithm>
#include <filesystem>

#include "cli/Records.h"
#include "core/FileIdentity.h"

namespace ostrel::cli {
namespace {

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

// Columns as wide as their widest cell (counted in characters, not bytes:
// makers and products may be UTF-8), two blanks apart, no trailing blanks.
class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headers) { rows_.push_back(std::move(headers)); }
  void add(std::vector<std::string> cells) { rows_.push_back(std::move(cells)); }

  std::string text() const {
    std::vector<std::size_t> widths;
    for (const auto& row : rows_) {
      widths.resize(std::max(widths.size(), row.size()));
      for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], width(row[c]));
    }
    std::string out;
    for (const auto& row : rows_) {
      std::string line = "  ";
      for (std::size_t c = 0; c < row.size(); ++c) {
        line += row[c];
        if (c + 1 < row.size()) line += std::string(widths[c] - width(row[c]) + 2, ' ');
      }
      out += line + "\n";
    }
    return out;
  }

 private:
  static std::size_t width(const std::string& s) {
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
  }
  std::vector<std::vector<std::string>> rows_;
};

std::string orDash(const std::string& s) { return s.empty() ? "-" : s; }

std::string adapterText(const SerialDevice& d) {
  if (d.maker.empty() || d.product.empty()) return d.maker + d.product;
  return d.maker + " " + d.product;
}

std::string useText(const PortStatus& p) { return p.usedBy.empty() ? "no" : "by " + joined(p.usedBy, ", "); }

std::string accessText(const DeviceAccess& a) {
  if (a.mayOpen) return "yes";
  return a.group.empty() ? "no" : "no: group " + a.group;
}

const char* kindText(SerialKind kind) {
  switch (kind) {
    case SerialKind::UsbSerial: return "usb-serial";
    case SerialKind::UsbAcm: return "usb-acm";
    case SerialKind::OnBoard: break;
  }
  return "on-board";
}

const char* entryKindText(MapEntry::Kind kind) {
  switch (kind) {
    case MapEntry::Kind::File: return "file";
    case MapEntry::Kind::Folder: return "folder";
    case MapEntry::Kind::Link: break;
  }
  return "link";
}

// What a map entry reaches, in the words of the map table.
std::string entryState(const PortsSurvey& s, const MappedName& m) {
  if (!m.entry.problem.empty()) return m.entry.problem;
  if (m.device >= 0) return s.ports[static_cast<std::size_t>(m.device)].device.name;
  return "a device that is not listed above";
}

std::string devicesTable(const PortsSurvey& s) {
  if (s.ports.empty()) return "  (none)\n";
  TextTable t({"DEVICE", "COM NAME", "ADAPTER", "SERIAL NUMBER", "DRIVER", "IN USE", "MAY OPEN"});
  for (const PortStatus& p : s.ports)
    t.add({p.device.path, orDash(p.comNamesText()), orDash(adapterText(p.device)), orDash(p.device.serialNumber),
           orDash(p.device.driver), useText(p), accessText(p.access)});
  std::string out = t.text();

  TextTable stable({"DEVICE", "STABLE NAME (what a COM name should lead to)"});
  bool anyStable = false;
  for (const PortStatus& p : s.ports)
    if (!p.device.stableName.empty()) {
      stable.add({p.device.path, p.device.stableName});
      anyStable = true;
    }
  if (anyStable) out.append("\n").append(stable.text());  // not "\n" + ...: GCC 12 at -O3 warns there

  std::string refused;
  for (const PortStatus& p : s.ports)
    if (!p.access.mayOpen) refused += "  " + p.device.path + ": you may not open it. " + p.access.advice + "\n";
  if (!refused.empty()) out += "\n" + refused;
  return out;
}

std::string mapTable(const PortsSurvey& s) {
  if (s.names.empty()) return "  (no COM names; COMn without one is /dev/ttyS(n-1))\n";
  TextTable t({"COM NAME", "LEADS TO", "STATE"});
  for (const MappedName& m : s.names)
    t.add({m.entry.name, m.entry.kind == MapEntry::Kind::Link ? m.entry.target : "(itself)", entryState(s, m)});
  return t.text();
}

std::string jsonText(const std::string& s) { return JsonString(s); }
std::string jsonBool(bool b) { return b ? "true" : "false"; }
std::string jsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + JsonString(items[i]);
  return out + "]";
}

std::string jsonDevice(const PortStatus& p) {
  const SerialDevice& d = p.device;
  return "{\"path\": " + jsonText(d.path) + ", \"name\": " + jsonText(d.name) + ", \"kind\": \"" + kindText(d.kind) +
         "\", \"stable_name\": " + jsonText(d.stableName) + ", \"maker\": " + jsonText(d.maker) +
         ", \"product\": " + jsonText(d.product) + ", \"serial_number\": " + jsonText(d.serialNumber) +
         ", \"usb_id\": " + jsonText(d.usbId) + ", \"driver\": " + jsonText(d.driver) +
         ", \"com_names\": " + jsonList(p.comNames) + ", \"default_com_name\": " + jsonText(p.defaultComName) +
         ", \"used_by\": " + jsonList(p.usedBy) + ", \"may_open\": " + jsonBool(p.access.mayOpen) +
         ", \"group\": " + jsonText(p.access.group) + ", \"advice\": " + jsonText(p.access.advice) + "}";
}

std::string jsonEntry(const PortsSurvey& s, const MappedName& m) {
  const MapEntry& e = m.entry;
  const std::string device = m.device >= 0 ? jsonText(s.ports[static_cast<std::size_t>(m.device)].device.path) : "null";
  return "{\"name\": " + jsonText(e.name) + ", \"kind\": \"" + entryKindText(e.kind) +
         "\", \"target\": " + jsonText(e.target) + ", \"resolved\": " + jsonText(e.resolved) +
         ", \"target_exists\": " + jsonBool(e.targetExists) + ", \"device\": " + device +
         ", \"problem\": " + jsonText(e.problem) + "}";
}

}  // namespace

std::string PortsTables(const PortsSurvey& s, bool withNotes) {
  std::string out = "Serial devices:\n" + devicesTable(s);
  out += "\nDevice map " + s.map.folder + ":\n" + mapTable(s);
  if (withNotes && !s.notes.empty()) {
    out += "\nNotes:\n";
    for (const std::string& n : s.notes) out += "  " + n + "\n";
  }
  return out;
}

std::string PortsJson(const PortsSurvey& s) {
  std::string doc = "{\n  \"devices\": [";
  for (std::size_t i = 0; i < s.ports.size(); ++i) doc += std::string(i ? "," : "") + "\n    " + jsonDevice(s.ports[i]);
  doc += s.ports.empty() ? "],\n" : "\n  ],\n";
  doc += "  \"device_map\": {\"folder\": " + jsonText(s.map.folder) + ", \"exists\": " + jsonBool(s.map.exists) +
         ", \"problem\": " + jsonText(s.map.problem) + ", \"entries\": [";
  for (std::size_t i = 0; i < s.names.size(); ++i)
    doc += std::string(i ? "," : "") + "\n    " + jsonEntry(s, s.names[i]);
  doc += s.names.empty() ? "]},\n" : "\n  ]},\n";
  return doc + "  \"notes\": " + jsonList(s.notes) + "\n}\n";
}

int FindSurveyedDevice(const PortsSurvey& s, const std::string& named) {
  if (named.empty()) return -1;
  const auto id = IdentifyFile(named);
  for (std::size_t i = 0; i < s.ports.size(); ++i) {
    const SerialDevice& d = s.ports[i].device;
    const bool byStableName = !d.stableName.empty() && std::filesystem::path(d.stableName).filename() == named;
    if (named == d.name || named == d.path || named == d.stableName || byStableName ||
        (id && IdentifyFile(d.path) == id))
      return static_cast<int>(i);
  }
  return -1;
}

}  // namespace ostrel::cli
