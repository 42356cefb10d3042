#pragma once
// Register contents as numbers: a register as unsigned, signed or hex, and two
// registers joined into a 32-bit integer or float in one of the four word and
// byte orders that slaves use.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modbus/reply.h"

namespace ostrel::modbus {

enum class ValueType { Uint16, Int16, Hex, Uint32, Int32, Float32 };

// How the value's bytes A B C D (A the most significant) stand in two registers on
// the wire: ABCD high word first and big-endian (the Modbus way), CDAB with the words
// swapped, BADC with the bytes swapped in each word, DCBA both.
enum class WordOrder { ABCD, CDAB, BADC, DCBA };

std::optional<ValueType> ValueTypeNamed(const std::string& name);
std::optional<WordOrder> WordOrderNamed(const std::string& name);
const char* NameOf(ValueType type);
const char* NameOf(WordOrder order);

inline bool IsWide(ValueType type) {
  return type == ValueType::Uint32 || type == ValueType::Int32 || type == ValueType::Float32;
}
// Registers one value takes: 2 for the 32-bit types, else 1.
inline int RegistersPerValue(ValueType type) { return IsWide(type) ? 2 : 1; }

// The 32 bits of the value in registers `first` and `second` (in wire order).
uint32_t Join32(RegisterBytes first, RegisterBytes second, WordOrder order);

// One value as text: uint16 and int16 in decimal, hex as 0x0104, the 32-bit
// integers in decimal, float32 as the shortest text that reads back as the same
// float ("123.456"), and "nan", "inf" or "-inf" for those. `regs` holds
// RegistersPerValue(type) registers.
std::string FormatValue(const RegisterBytes* regs, ValueType type, WordOrder order);

// The values of a read-out, one per RegistersPerValue(type) registers; a last
// odd register of a 32-bit read-out gives no value.
std::vector<std::string> FormatValues(const std::vector<RegisterBytes>& regs, ValueType type, WordOrder order);

}  // namespace ostrel::modbus
