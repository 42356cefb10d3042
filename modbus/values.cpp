#include "modbus/values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/Text.h"

namespace ostrel::modbus {
namespace {

constexpr struct {
  const char* name;
  ValueType type;
} kTypes[] = {{"uint16", ValueType::Uint16}, {"int16", ValueType::Int16}, {"hex", ValueType::Hex},
              {"uint32", ValueType::Uint32}, {"int32", ValueType::Int32}, {"float32", ValueType::Float32}};

constexpr struct {
  const char* name;
  WordOrder order;
} kOrders[] = {
    {"ABCD", WordOrder::ABCD}, {"CDAB", WordOrder::CDAB}, {"BADC", WordOrder::BADC}, {"DCBA", WordOrder::DCBA}};

std::string floatText(float f) {
  if (std::isnan(f)) return "nan";
  if (std::isinf(f)) return f < 0 ? "-inf" : "inf";
  char text[32];
  // The fewest digits that still read back as the very same float.
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(f));
    if (std::strtof(text, nullptr) == f) break;
  }
  return text;
}

}  // namespace

std::optional<ValueType> ValueTypeNamed(const std::string& name) {
  for (const auto& t : kTypes) {
    if (name == t.name) return t.type;
  }
  return std::nullopt;
}

std::optional<WordOrder> WordOrderNamed(const std::string& name) {
  const std::string upper = AsciiUpper(name);
  for (const auto& o : kOrders) {
    if (upper == o.name) return o.order;
  }
  return std::nullopt;
}

const char* NameOf(ValueType type) {
  for (const auto& t : kTypes) {
    if (t.type == type) return t.name;
  }
  return "";
}

const char* NameOf(WordOrder order) {
  for (const auto& o : kOrders) {
    if (o.order == order) return o.name;
  }
  return "";
}

uint32_t Join32(RegisterBytes first, RegisterBytes second, WordOrder order) {
  // The four bytes as they came, then picked out as A, B, C, D.
  const uint8_t wire[4] = {first.high, first.low, second.high, second.low};
  static constexpr int kWhere[4][4] = {{0, 1, 2, 3}, {2, 3, 0, 1}, {1, 0, 3, 2}, {3, 2, 1, 0}};
  const int* at = kWhere[static_cast<int>(order)];
  return uint32_t{wire[at[0]]} << 24 | uint32_t{wire[at[1]]} << 16 | uint32_t{wire[at[2]]} << 8 | wire[at[3]];
}

std::string FormatValue(const RegisterBytes* regs, ValueType type, WordOrder order) {
  const uint16_t word = static_cast<uint16_t>(regs[0].high << 8 | regs[0].low);
  char text[16];
  switch (type) {
    case ValueType::Uint16: return std::to_string(word);
    case ValueType::Int16: return std::to_string(static_cast<int16_t>(word));
    case ValueType::Hex: std::snprintf(text, sizeof text, "0x%04X", word); return text;
    case ValueType::Uint32: return std::to_string(Join32(regs[0], regs[1], order));
    case ValueType::Int32: return std::to_string(static_cast<int32_t>(Join32(regs[0], regs[1], order)));
    case ValueType::Float32: {
      const uint32_t bits = Join32(regs[0], regs[1], order);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return floatText(f);
    }
  }
  return {};
}

std::vector<std::string> FormatValues(const std::vector<RegisterBytes>& regs, ValueType type, WordOrder order) {
  std::vector<std::string> values;
  const size_t step = static_cast<size_t>(RegistersPerValue(type));
  for (size_t k = 0; k + step <= regs.size(); k += step) values.push_back(FormatValue(&regs[k], type, order));
  return values;
}

}  // namespace ostrel::modbus
