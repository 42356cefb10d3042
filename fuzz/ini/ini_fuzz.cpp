// Arbitrary bytes as the settings file: parse, read, write the program's own settings, and
// read the written file again. What was written reads back as written, every other key keeps
// its value, and writing the same values again changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/IniFile.h"
#include "common/cp1251.h"

namespace {

using ostrel::IniFile;

void check(bool condition) {
  if (!condition) std::abort();
}

struct Name {
  std::string section, key;
};

// The settings the window writes, as it spells them.
const std::vector<Name>& programKeys() {
  static const std::vector<Name> keys = {
      {"Com port", "Name"},     {"Com port", "Speed"},   {"Com port", "Parity"},   {"Com port", "SB"},
      {"Com port", "AutoOpen"}, {"Modbus port", "Name"}, {"Modbus port", "Speed"}, {"Modbus port", "Parity"},
      {"Modbus port", "SB"},    {"Modbus", "AutoOpen"},  {"Mbus", "Timeout"},      {"Modbus", "Timeout"},
      {"Modbus", "Address"},    {"Modbus", "STADDR"},    {"Modbus", "Count"},      {"Misc", "Dir"}};
  return keys;
}

bool sameAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto low = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (low(a[i]) != low(b[i])) return false;
  }
  return true;
}

bool isProgramKey(const Name& n) {
  for (const Name& p : programKeys())
    if (sameAscii(p.section, n.section) && sameAscii(p.key, n.key)) return true;
  return false;
}

std::string trimBlanks(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  return s.substr(b);
}

// Section and key names the file itself uses, so its own keys are read back too: a crude
// split, on purpose independent of the reader's.
std::vector<Name> namesInFile(const std::string& bytes) {
  std::vector<Name> names;
  std::string section;
  size_t pos = 0;
  while (pos < bytes.size() && names.size() < 64) {
    size_t nl = bytes.find_first_of("\r\n", pos);
    if (nl == std::string::npos) nl = bytes.size();
    const std::string line = trimBlanks(bytes.substr(pos, nl - pos));
    pos = nl + 1;
    const size_t close = line.find(']');
    if (!line.empty() && line[0] == '[' && close != std::string::npos) {
      section = ostrel::cp1251ToUtf8(trimBlanks(line.substr(1, close - 1)));
    } else if (const size_t eq = line.find('='); eq != std::string::npos) {
      names.push_back({section, ostrel::cp1251ToUtf8(trimBlanks(line.substr(0, eq)))});
    }
  }
  return names;
}

// A value the file can hold on one line, as UTF-8: no line ends, no blanks at its ends (the
// reader trims them), and no byte without a character.
std::string storableValue(const std::string& bytes) {
  std::string v = bytes;
  for (char& c : v)
    if (c == '\r' || c == '\n' || c == '\x98') c = '_';
  return ostrel::cp1251ToUtf8(trimBlanks(v));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  // The file, then after the last 0x00 byte (if any) the values to write.
  const size_t split = input.rfind('\0');
  const std::string file = split == std::string::npos ? input : input.substr(0, split);
  const std::string values = split == std::string::npos ? std::string() : input.substr(split + 1);

  IniFile ini;
  ini.parse(file);
  {
    // Kept line by line: once read and written, a file reads and writes to itself.
    IniFile copy;
    copy.parse(ini.serialize());
    check(copy.serialize() == ini.serialize());
  }

  std::vector<Name> others;
  std::vector<std::optional<std::string>> before;
  for (const Name& n : namesInFile(file)) {
    if (isProgramKey(n)) continue;
    others.push_back(n);
    before.push_back(ini.value(n.section, n.key));
  }

  // Each program key gets a piece of the values, cut at 0x01; integers and booleans too.
  std::vector<std::string> written;
  size_t at = 0;
  for (const Name& n : programKeys()) {
    size_t end = values.find('\x01', at);
    if (end == std::string::npos) end = values.size();
    written.push_back(storableValue(values.substr(at, end - at)));
    at = end < values.size() ? end + 1 : end;
    ini.writeString(n.section, n.key, written.back());
  }
  const long long number = static_cast<long long>(size) * (values.size() % 2 ? -7919 : 104729);
  ini.writeInteger("Misc", "Number", number);
  ini.writeBool("Misc", "Flag", size % 3 == 0);

  IniFile again;
  again.parse(ini.serialize());
  for (size_t i = 0; i < programKeys().size(); ++i) {
    const Name& n = programKeys()[i];
    check(again.readString(n.section, n.key, "\x01missing") == written[i]);
  }
  check(again.readInteger("Misc", "Number", 0) == number);
  check(again.readBool("Misc", "Flag", size % 3 != 0) == (size % 3 == 0));
  for (size_t i = 0; i < others.size(); ++i) {
    const Name& n = others[i];
    if ((sameAscii(n.section, "Misc") && (sameAscii(n.key, "Number") || sameAscii(n.key, "Flag")))) continue;
    check(again.value(n.section, n.key) == before[i]);
  }

  // Writing what the file already holds changes nothing.
  const std::string once = again.serialize();
  for (size_t i = 0; i < programKeys().size(); ++i)
    again.writeString(programKeys()[i].section, programKeys()[i].key, written[i]);
  check(again.serialize() == once);
  return 0;
}
