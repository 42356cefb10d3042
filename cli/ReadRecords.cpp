#include "cli/ReadRecords.h"

#include <cstdio>

#include "cli/Records.h"
#include "common/hexdump.h"
#include "modbus/decode.h"

namespace ostrel::cli {
namespace {

std::string hex2(uint8_t b) { return hexDump(std::string(1, static_cast<char>(b))).substr(0, 2); }

// The decode words describe the panel's input registers, by their address;
// holding registers have none.
std::string decode(const ReadRequest& r, uint8_t byte, size_t k) {
  return r.function == 4 ? modbus::DecodeStatusByte(byte, r.address + static_cast<int>(k)) : std::string();
}

// The value of each register: a 32-bit value stands at the first register of its pair.
std::vector<std::string> valueColumn(const ReadRequest& r, const Readout& x) {
  const std::vector<std::string> values = modbus::FormatValues(x.registers, r.type, r.order);
  const size_t step = static_cast<size_t>(modbus::RegistersPerValue(r.type));
  std::vector<std::string> column(x.registers.size());
  for (size_t v = 0; v < values.size(); ++v) column[v * step] = values[v];
  return column;
}

int valueWidth(modbus::ValueType type) {
  switch (type) {
    case modbus::ValueType::Uint16: return 5;
    case modbus::ValueType::Int16:
    case modbus::ValueType::Hex: return 6;
    case modbus::ValueType::Float32: return 15;  // -1.17549435e-38
    default: return 11;                          // -2147483648
  }
}

// A JSON number, or a string for hex, or null for a float that is none.
std::string jsonValue(const std::string& text, modbus::ValueType type) {
  if (type == modbus::ValueType::Hex) return JsonString(text);
  if (text == "nan" || text == "inf" || text == "-inf") return "null";
  return text;
}

}  // namespace

std::string TableRecord(const ReadRequest& r, const Readout& x, bool polling) {
  std::string out;
  if (polling) out += "# " + x.time + (x.error.empty() ? "" : " error: " + x.error) + "\n";
  if (!x.error.empty()) return out + (polling ? "\n" : "");
  const int width = valueWidth(r.type);
  char line[200];
  std::snprintf(line, sizeof line, "%8s  %*s  %-4s  %-36s  %-3s  %s\n", "Register", width, "Value", "High", "Decode",
                "Low", "Decode");
  out += line;
  const std::vector<std::string> values = valueColumn(r, x);
  for (size_t k = 0; k < x.registers.size(); ++k) {
    const auto& reg = x.registers[k];
    std::snprintf(line, sizeof line, "%8d  %*s  %-4s  %-36s  %-3s  %s", r.first + static_cast<int>(k), width,
                  values[k].c_str(), hex2(reg.high).c_str(), decode(r, reg.high, k).c_str(), hex2(reg.low).c_str(),
                  decode(r, reg.low, k).c_str());
    std::string text = line;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  }
  return polling ? out + "\n" : out;
}

// The register fields keep their places; the value fields follow them all, one
// per value, named by the value's first register.
std::string CsvHeader(const ReadRequest& r) {
  std::string out = "time;result;";
  for (int k = 0; k < r.count; ++k) {
    const std::string n = std::to_string(r.first + k);
    out += n + ";" + n + " high;" + n + " low;";
  }
  const int step = modbus::RegistersPerValue(r.type);
  for (int k = 0; k + step <= r.count; k += step) out += std::to_string(r.first + k) + " value;";
  return out + "\r\n";
}

std::string CsvRecord(const ReadRequest& r, const Readout& x) {
  std::string error = x.error;
  for (char& c : error) {
    if (c == ';') c = ',';
  }
  std::string out = x.time + ";" + (error.empty() ? "ok" : error) + ";";
  for (size_t k = 0; k < x.registers.size(); ++k) {
    const auto& reg = x.registers[k];
    out += hex2(reg.high) + hex2(reg.low) + ";" + decode(r, reg.high, k) + ";" + decode(r, reg.low, k) + ";";
  }
  for (const std::string& v : modbus::FormatValues(x.registers, r.type, r.order)) out += v + ";";
  return out + "\r\n";
}

std::string JsonRecord(const ReadRequest& r, const Readout& x) {
  std::string out = "{\"time\": " + JsonString(x.time) + ", \"slave\": " + std::to_string(r.slave) +
                    ", \"start\": " + std::to_string(r.first) + ", \"count\": " + std::to_string(r.count);
  if (r.function != 4) out += ", \"function\": " + std::to_string(r.function);
  if (r.oneBased) out += ", \"address\": " + std::to_string(r.address);
  if (r.type != modbus::ValueType::Uint16) out += ", \"type\": \"" + std::string(modbus::NameOf(r.type)) + "\"";
  if (modbus::IsWide(r.type)) out += ", \"order\": \"" + std::string(modbus::NameOf(r.order)) + "\"";
  if (!x.error.empty()) return out + ", \"ok\": false, \"error\": " + JsonString(x.error) + "}\n";
  out += ", \"ok\": true, \"registers\": [";
  for (size_t k = 0; k < x.registers.size(); ++k) {
    const auto& reg = x.registers[k];
    if (k) out += ", ";
    out += "{\"number\": " + std::to_string(r.first + static_cast<int>(k)) +
           ", \"value\": " + std::to_string(reg.high << 8 | reg.low) + ", \"high\": \"" + hex2(reg.high) +
           "\", \"high_decode\": " + JsonString(decode(r, reg.high, k)) + ", \"low\": \"" + hex2(reg.low) +
           "\", \"low_decode\": " + JsonString(decode(r, reg.low, k)) + "}";
  }
  out += "]";
  if (r.type != modbus::ValueType::Uint16) {
    out += ", \"values\": [";
    const auto values = modbus::FormatValues(x.registers, r.type, r.order);
    const int step = modbus::RegistersPerValue(r.type);
    for (size_t v = 0; v < values.size(); ++v) {
      if (v) out += ", ";
      out += "{\"number\": " + std::to_string(r.first + static_cast<int>(v) * step) +
             ", \"value\": " + jsonValue(values[v], r.type) + "}";
    }
    out += "]";
  }
  return out + "}\n";
}

std::string PortEventRecord(Format format, const std::string& time, const std::string& event, const std::string& port,
                            const std::string& reason) {
  switch (format) {
    case Format::Table: return "# " + time + " " + event + (reason.empty() ? "" : ": " + reason) + "\n\n";
    case Format::Csv: {
      std::string text = event + (reason.empty() ? "" : ": " + reason);
      for (char& c : text) {
        if (c == ';') c = ',';
      }
      return time + ";" + text + ";\r\n";
    }
    case Format::Jsonl:
      return "{\"time\": " + JsonString(time) + ", \"event\": " + JsonString(event) +
             ", \"port\": " + JsonString(port) + (reason.empty() ? "" : ", \"error\": " + JsonString(reason)) + "}\n";
  }
  return {};
}

}  // namespace ostrel::cli
