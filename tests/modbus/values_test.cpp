#include <gtest/gtest.h>

#include "modbus/values.h"

namespace ostrel::modbus {
namespace {

// The float 123.456 is 0x42F6E979: each order puts its bytes A=42 B=F6 C=E9 D=79
// elsewhere on the wire, and each must find them again.
TEST(RegisterValues, EachOrderReadsItsOwnWireBytes) {
  const struct {
    WordOrder order;
    RegisterBytes first, second;
  } cases[] = {
      {WordOrder::ABCD, {0x42, 0xF6}, {0xE9, 0x79}},
      {WordOrder::CDAB, {0xE9, 0x79}, {0x42, 0xF6}},
      {WordOrder::BADC, {0xF6, 0x42}, {0x79, 0xE9}},
      {WordOrder::DCBA, {0x79, 0xE9}, {0xF6, 0x42}},
  };
  for (const auto& c : cases) {
    const RegisterBytes regs[2] = {c.first, c.second};
    EXPECT_EQ(Join32(c.first, c.second, c.order), 0x42F6E979u) << NameOf(c.order);
    EXPECT_EQ(FormatValue(regs, ValueType::Float32, c.order), "123.456") << NameOf(c.order);
    EXPECT_EQ(FormatValue(regs, ValueType::Uint32, c.order), "1123477881") << NameOf(c.order);
  }
}

TEST(RegisterValues, TypesOfOneAndTwoRegisters) {
  const struct {
    RegisterBytes first, second;
    ValueType type;
    const char* text;
  } cases[] = {
      {{0x01, 0x04}, {}, ValueType::Uint16, "260"},
      {{0xFF, 0xFE}, {}, ValueType::Int16, "-2"},
      {{0x80, 0x00}, {}, ValueType::Int16, "-32768"},
      {{0x01, 0x04}, {}, ValueType::Hex, "0x0104"},
      {{0xFF, 0xFF}, {0xFF, 0xFE}, ValueType::Int32, "-2"},
      {{0xFF, 0xFF}, {0xFF, 0xFE}, ValueType::Uint32, "4294967294"},
      {{0x80, 0x00}, {0x00, 0x00}, ValueType::Int32, "-2147483648"},
      {{0xBF, 0xC0}, {0x00, 0x00}, ValueType::Float32, "-1.5"},
      {{0x7F, 0xC0}, {0x00, 0x00}, ValueType::Float32, "nan"},
      {{0xFF, 0x80}, {0x00, 0x00}, ValueType::Float32, "-inf"},
      {{0x00, 0x00}, {0x00, 0x01}, ValueType::Float32, "1e-45"},  // the least subnormal
  };
  for (const auto& c : cases) {
    const RegisterBytes regs[2] = {c.first, c.second};
    EXPECT_EQ(FormatValue(regs, c.type, WordOrder::ABCD), c.text) << NameOf(c.type) << " " << c.text;
  }
}

TEST(RegisterValues, NamesAndPairing) {
  EXPECT_EQ(ValueTypeNamed("float32"), ValueType::Float32);
  EXPECT_FALSE(ValueTypeNamed("float"));
  EXPECT_EQ(WordOrderNamed("cdab"), WordOrder::CDAB);
  EXPECT_FALSE(WordOrderNamed("ACBD"));
  // Three registers as 32-bit values: one value; the odd register is left alone.
  const std::vector<RegisterBytes> regs{{0, 0}, {0, 7}, {0, 9}};
  EXPECT_EQ(FormatValues(regs, ValueType::Uint32, WordOrder::ABCD), std::vector<std::string>{"7"});
  EXPECT_EQ(FormatValues(regs, ValueType::Uint16, WordOrder::ABCD), (std::vector<std::string>{"0", "7", "9"}));
}

}  // namespace
}  // namespace ostrel::modbus
