// The settings file's keys, read and written without a window.
#include <gtest/gtest.h>

#include <string>

#include "IniFile.h"
#include "SettingsTable.h"

using namespace ostrel;

namespace {

// A file written by an earlier version of the program: every key in its own section.
const char kEveryKey[] =
    "[Com port]\r\nName=COM4\r\nSpeed=9600\r\nParity=Odd\r\nSB=1\r\nAutoOpen=1\r\n"
    "[Modbus port]\r\nName=COM5\r\nSpeed=115200\r\nParity=None\r\nSB=2\r\n"
    "[Modbus]\r\nAutoOpen=1\r\nTimeout=1500\r\nAddress=7\r\nSTADDR=30\r\nCount=12\r\n"
    "[Mbus]\r\nTimeout=900\r\n"
    "[Misc]\r\nDir=/data/tables/\r\n";

std::string field(const WindowSettings& s, const std::string& name) {
  const std::pair<const char*, std::string> fields[] = {
      {"panel name", s.panelLink.name},
      {"panel speed", s.panelLink.speed},
      {"panel parity", s.panelLink.parity},
      {"panel stop", s.panelLink.stop},
      {"panel auto", std::to_string(s.panelLink.autoOpen)},
      {"modbus name", s.modbusLink.name},
      {"modbus speed", s.modbusLink.speed},
      {"modbus parity", s.modbusLink.parity},
      {"modbus stop", s.modbusLink.stop},
      {"modbus auto", std::to_string(s.modbusLink.autoOpen)},
      {"response timeout", std::to_string(s.responseTimeout)},
      {"modbus timeout", std::to_string(s.modbusTimeout)},
      {"slave", std::to_string(s.slaveAddress)},
      {"start", s.startAddress},
      {"count", s.registerCount},
      {"dir", s.dataDir},
  };
  for (const auto& [n, v] : fields)
    if (name == n) return v;
  ADD_FAILURE() << "no field " << name;
  return {};
}

struct Case {
  const char* field;
  const char* fromEmptyFile;  // the default
  const char* fromEveryKey;   // what the old file holds
};

const Case kCases[] = {
    {"panel name", "COM1", "COM4"},
    {"panel speed", "2400", "9600"},
    {"panel parity", "Even", "Odd"},
    {"panel stop", "2", "1"},
    {"panel auto", "0", "1"},
    {"modbus name", "COM1", "COM5"},
    {"modbus speed", "19200", "115200"},
    {"modbus parity", "Even", "None"},
    {"modbus stop", "1", "2"},
    {"modbus auto", "0", "1"},
    {"response timeout", "300", "900"},
    {"modbus timeout", "600", "1500"},
    {"slave", "1", "7"},
    {"start", "1", "30"},
    {"count", "125", "12"},
    {"dir", "/opt/ostrel/", "/data/tables/"},
};

TEST(SettingsTable, EachKeyIsReadFromItsSectionAndAMissingKeyKeepsItsDefault) {
  IniFile empty, old;
  old.parse(kEveryKey);
  WindowSettings fromEmpty = DefaultWindowSettings("/opt/ostrel/");
  WindowSettings fromOld = DefaultWindowSettings("/opt/ostrel/");
  ReadWindowSettings(empty, fromEmpty);
  ReadWindowSettings(old, fromOld);
  for (const Case& c : kCases) {
    EXPECT_EQ(field(fromEmpty, c.field), c.fromEmptyFile) << c.field;
    EXPECT_EQ(field(fromOld, c.field), c.fromEveryKey) << c.field;
  }
}

TEST(SettingsTable, WrittenSettingsReplaceTheOldValuesInPlaceAndReadBackTheSame) {
  IniFile ini;
  ini.parse(std::string("; kept comment\r\n") + kEveryKey + "[Other]\r\nKey=kept\r\n");
  WindowSettings s = DefaultWindowSettings("/home/engineer/");
  WriteWindowSettings(s, ini);
  WindowSettings back = DefaultWindowSettings("/elsewhere/");
  back.panelLink.autoOpen = back.modbusLink.autoOpen = true;
  ReadWindowSettings(ini, back);
  for (const Case& c : kCases) EXPECT_EQ(field(back, c.field), field(s, c.field)) << c.field;
  const std::string text = ini.serialize();
  EXPECT_EQ(text.rfind("; kept comment\r\n[Com port]\r\nName=COM1\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("[Mbus]\r\nTimeout=300\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Other]\r\nKey=kept\r\n"), std::string::npos) << text;
}

TEST(SettingsTable, SpinPositionsBeyondSixteenBitsTakeTheNearestSixteenBitValue) {
  const std::pair<long long, int> cases[] = {{0, 0},         {300, 300},       {32767, 32767},
                                             {32768, 32767}, {-32769, -32768}, {9000000000LL, 32767}};
  for (auto [value, position] : cases) EXPECT_EQ(SpinPosition(value), position) << value;
}

}  // namespace
