#include "cli/ScanJson.h"

#include "cli/Records.h"
#include "panel/TFP.h"

namespace ostrel::cli {
namespace {

const std::array<const char*, 5> kLoopKeys{"loop", "devices", "max_ma", "on", "addressing"};
const std::array<const char*, 11> kDeviceKeys{"device",   "id",   "type",   "old_number", "next",  "previous",
                                              "branches", "zone", "status", "flags",      "modbus"};

// The cells under their keys, as the window shows them.
template <size_t N>
std::string cellMembers(const std::array<const char*, N>& keys, const std::vector<std::string>& cells) {
  std::string out;
  for (size_t i = 0; i < N; ++i) {
    if (i) out += ", ";
    out += JsonString(keys[i]) + ": " + JsonString(i < cells.size() ? cells[i] : std::string());
  }
  return out;
}

std::string member(const char* key, unsigned value) { return std::string("\"") + key + "\": " + std::to_string(value); }
std::string member(const char* key, const std::string& text) {
  return std::string("\"") + key + "\": " + JsonString(text);
}
const char* flag(bool b) { return b ? "true" : "false"; }

std::string cell(const ScannedRow& row, size_t i) { return i < row.cells.size() ? row.cells[i] : std::string(); }

std::string loopObject(const ScannedRow& row) {
  const auto v = panel::TFP::LoopValuesOf(row.reply);
  // Each object is appended to its opening brace: "{" + ... makes GCC 12 at -O3 warn of an
  // overlapping copy.
  std::string out = "{";
  return out += cellMembers(kLoopKeys, row.cells) + ", \"typed\": {" + member("loop", v.loopNo + 1) + ", " +
                member("devices", v.devices) + ", " + member("max_ma", v.maxMilliamps) + ", " +
                member("on_code", v.on) + ", " + member("on_text", cell(row, 3)) + ", " +
                member("addressing_code", v.manualAddressing) + ", " + member("addressing_text", cell(row, 4)) +
                "}, \"checksum_ok\": " + flag(row.checksumOk) + "}";
}

std::string deviceObject(const ScannedRow& row) {
  const auto v = panel::TFP::DeviceValuesOf(row.reply);
  std::string out = "{";
  return out +=
         cellMembers(kDeviceKeys, row.cells) + ", \"typed\": {" + member("loop", static_cast<unsigned>(row.loop)) +
         ", " + member("address", v.address) + ", " + member("id", v.idSum) + ", " + member("type_code", v.type) +
         ", " + member("type_name", panel::TFP::DeviceTypeName(static_cast<uint8_t>(v.type))) + ", " +
         member("old_number", v.oldNumber) + ", " + member("next", v.next) + ", " + member("previous", v.previous) +
         ", " + member("branches_code", v.branches) + ", " + member("branches_text", cell(row, 6)) + ", " +
         member("zone", v.zone) + ", " + member("status_code", v.status) + ", " + member("status_text", cell(row, 8)) +
         ", " + member("flags", v.flags) + ", " + member("input_register", v.address) +
         "}, \"checksum_ok\": " + flag(row.checksumOk) + "}";
}

std::string panelObject(const ScanResult& scan) {
  if (scan.panelReply.empty()) return "null";
  const auto v = panel::TFP::PanelValuesOf(scan.panelReply);
  std::string out = "{";
  return out += member("can_code", v.can) + ", \"modules\": [" + std::to_string(v.modules[0]) + ", " +
                std::to_string(v.modules[1]) + ", " + std::to_string(v.modules[2]) + "], " + member("loops", v.loops) +
                ", " + member("power_code", v.power) + ", " + member("zones", v.zones) + ", " +
                member("language_code", v.language) + ", " + member("mode_code", v.mode) +
                ", \"checksum_ok\": " + flag(scan.panelChecksumOk) + "}";
}

template <typename F>
std::string rows(const std::vector<ScannedRow>& list, F object) {
  std::string out = "[";
  for (size_t i = 0; i < list.size(); ++i) out += std::string(i ? "," : "") + "\n    " + object(list[i]);
  return out + (list.empty() ? "]" : "\n  ]");
}

}  // namespace

std::string ScanJsonDocument(const ScanResult& scan, const ReplyLog& replies, bool complete, const std::string& error) {
  std::string doc = "{\n  \"format\": " + std::to_string(kScanJsonFormat) + ",\n  \"panel\": [";
  for (size_t i = 0; i < scan.labels.size(); ++i) doc += (i ? ", " : "") + JsonString(scan.labels[i]);
  doc += "],\n  \"panel_info\": " + panelObject(scan);
  doc += ",\n  \"loops\": " + rows(scan.loops, loopObject);
  doc += ",\n  \"devices\": " + rows(scan.devices, deviceObject);
  doc += ",\n  \"replies\": " + std::to_string(replies.replies());
  doc += ",\n  \"retries\": " + std::to_string(replies.retries());
  doc += ",\n  \"checksum_errors\": " + std::to_string(replies.checksumErrors());
  doc += ",\n  \"errors\": " + replies.jsonErrors("  ");
  doc += ",\n  \"complete\": " + std::string(flag(complete));
  if (!error.empty()) doc += ",\n  \"error\": " + JsonString(error);
  return doc + "\n}\n";
}

}  // namespace ostrel::cli
