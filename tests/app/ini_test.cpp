#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QTemporaryDir>

#include "IniFile.h"
#include "ProgramFolder.h"

using ostrel::IniFile;
using ostrel::parseInteger;
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const std::string kExecutableSuffix = ".exe";
#else
const std::string kExecutableSuffix;
#endif

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

struct TempDir {
  QTemporaryDir dir;
  fs::path path{dir.path().toStdString()};
};

}  // namespace

TEST(IniFile, LookupIgnoresCaseAndTakesTheFirstOfDuplicates) {
  IniFile ini;
  ini.parse(
      "; comment\r\n[Com Port]\r\n NAME = COM7 \r\nname=COM9\r\n[com port]\r\nSpeed=1\r\n"
      "[\xCA\xEE\xED\xF2\xF3\xF0]\r\n\xC8\xEC\xE5=\xC4\xE0\r\n");
  EXPECT_EQ(ini.readString("com port", "Name", "x"), "COM7");
  // Only the first section of a name is looked at.
  EXPECT_EQ(ini.readString("Com port", "Speed", "d"), "d");
  // Cyrillic names compare without case too; values arrive as UTF-8.
  EXPECT_EQ(ini.readString("КОНТУР", "имЕ", "?"), "Да");
  EXPECT_EQ(ini.readString("Missing", "Name", "def"), "def");
  EXPECT_FALSE(ini.value("Com port", "comment").has_value());
}

TEST(IniFile, IntegersAndBooleans) {
  EXPECT_EQ(parseInteger(" 12 "), 12);
  EXPECT_EQ(parseInteger("-5"), -5);
  EXPECT_EQ(parseInteger("+7"), 7);
  for (const char* bad : {"", " ", "abc", "12a", "+", "1 2", "0x10", "1.5"})
    EXPECT_FALSE(parseInteger(bad).has_value()) << bad;
  // Absurdly long numbers saturate instead of overflowing.
  EXPECT_GT(*parseInteger(std::string(40, '9')), 1000000000000LL);

  IniFile ini;
  ini.parse("[M]\nT=abc\nA=2\nB=0\nC=x\n");
  EXPECT_EQ(ini.readInteger("M", "T", 600), 600);
  EXPECT_TRUE(ini.readBool("M", "A", false));
  EXPECT_FALSE(ini.readBool("M", "B", true));
  EXPECT_TRUE(ini.readBool("M", "C", true));  // not a number: the default
}

TEST(IniFile, WriterKeepsForeignContentAndPlacesNewKeys) {
  IniFile ini;
  ini.parse("; top comment\n[Com port]\nNAME=COM2\nOther=\x98\xFF keep\n\n[Foreign]\nx=1\n");
  ini.writeString("com port", "Name", "COM3");  // replaced in place, spelling kept
  ini.writeString("Com port", "Speed", "600");  // new key: end of its section
  ini.writeInteger("Misc", "N", -3);            // new section: end of file
  ini.writeBool("Misc", "B", true);
  EXPECT_EQ(ini.serialize(),
            "; top comment\n[Com port]\nNAME=COM3\nOther=\x98\xFF keep\nSpeed=600\n\n"
            "[Foreign]\nx=1\n[Misc]\nN=-3\nB=1\n");
}

TEST(IniFile, TextsAreWindows1251OnDiskAndStayOnOneLine) {
  IniFile ini;
  ini.writeString("Misc", "Dir", "/данни/");
  ini.writeString("Misc", "Bad", "a\r\nb=c");
  EXPECT_EQ(ini.serialize(), "[Misc]\r\nDir=/\xE4\xE0\xED\xED\xE8/\r\nBad=a  b=c\r\n");
  IniFile back;
  back.parse(ini.serialize());
  EXPECT_EQ(back.readString("Misc", "Dir", ""), "/данни/");
}

TEST(IniFile, HostileContentNeverBreaksReading) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131) & 0xFF);
  std::string huge = "[Modbus]\nTimeout=" + std::string(2'000'000, '7') + "\nCount=5";
  for (const std::string& text : {binary, std::string("[Modbus"), std::string("[Modbus]\nTime"), std::string("=\n=="),
                                  std::string("[]\n[\n]"), huge, std::string("\0\0[Modbus]\0", 12)}) {
    IniFile ini;
    ini.parse(text);
    (void)ini.readInteger("Modbus", "Timeout", 600);
    (void)ini.readString("Modbus", "STADDR", "1");
    ini.writeString("Modbus", "Timeout", "600");
    EXPECT_EQ(ini.readString("Modbus", "Timeout", ""), "600");
  }
  IniFile last;
  last.parse(huge);
  EXPECT_EQ(last.readString("Modbus", "Count", ""), "5");  // no final line end
}

TEST(IniFile, CarriageReturnsWithoutLineFeedAtTheEndReadAndWriteBackAlike) {
  // A lone carriage return ends a line; the file is written back with the kind of line end
  // its first line has, and reads back the same.
  for (const char* text : {"[M]\r\nT=5\r", "[M]\r\nT=5\r\r", "[M]\nT=5 \r \r"}) {
    IniFile ini;
    ini.parse(text);
    IniFile same;
    same.parse(ini.serialize());
    EXPECT_EQ(same.serialize(), ini.serialize()) << text;
    EXPECT_EQ(ini.readInteger("M", "T", 0), 5) << text;
    ini.writeString("M", "Other", "x");
    IniFile again;
    again.parse(ini.serialize());
    EXPECT_EQ(again.readString("M", "T", ""), "5") << text;
    EXPECT_EQ(again.readString("M", "Other", ""), "x") << text;
  }
}

TEST(IniFile, SaveReplacesWholeOrNotAtAll) {
  TempDir dir;
  const fs::path file = dir.path / "ostrel.ini";
  IniFile ini;
  EXPECT_FALSE(ini.load(file.string()));  // missing: empty document
  ini.writeString("Com port", "Name", "COM4");
  ASSERT_TRUE(ini.save(file.string()));
  EXPECT_EQ(readFile(file), "[Com port]\r\nName=COM4\r\n");

  IniFile again;
  ASSERT_TRUE(again.load(file.string()));
  EXPECT_EQ(again.readString("COM PORT", "NAME", ""), "COM4");

  // A folder standing where the file should be, and a path under a missing
  // folder: both fail, leave nothing behind and do not touch the folder.
  const fs::path blocked = dir.path / "blocked.ini";
  fs::create_directory(blocked);
  fs::create_directory(blocked / "inner");
  EXPECT_FALSE(ini.save(blocked.string()));
  EXPECT_TRUE(fs::is_directory(blocked / "inner"));
  EXPECT_FALSE(ini.save((dir.path / "nope" / "x.ini").string()));
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(dir.path)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"blocked.ini", "ostrel.ini"}));
}

TEST(ProgramFolder, OverrideThenExecutableFolder) {
  TempDir dir;
  const fs::path home = dir.path / "a" / "b";
  qputenv("OSTREL_HOME", QByteArray::fromStdString(home.string()));
  EXPECT_EQ(ostrel::ProgramFolder(), home.string());
  EXPECT_TRUE(fs::is_directory(home));  // created
  EXPECT_EQ(ostrel::SettingsFilePath(), (home / "app_ini_tests.ini").string());
  qunsetenv("OSTREL_HOME");
  // The build folder is writable, so the executable's own folder is used.
  EXPECT_EQ(ostrel::ProgramFolder(), ostrel::ExecutableFolder());
  EXPECT_TRUE(fs::exists(fs::path(ostrel::ExecutableFolder()) / ("app_ini_tests" + kExecutableSuffix)));
}
