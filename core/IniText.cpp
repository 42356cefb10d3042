#include "core/IniText.h"

#include <sstream>

#include "common/Text.h"

namespace ostrel::core {
namespace {

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

std::string unquote(const std::string& v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  return v;
}

bool sameName(const std::string& a, const std::string& b) { return AsciiLower(a) == AsciiLower(b); }

}  // namespace

const IniEntry* IniSection::find(const std::string& key) const {
  for (const auto& e : entries) {
    if (sameName(e.key, key)) return &e;
  }
  return nullptr;
}

IniText ParseIni(const std::string& text) {
  IniText ini;
  ini.sections.push_back({});
  std::istringstream in(text);
  std::string raw;
  int number = 0;
  auto fail = [&](const std::string& reason) {
    ini.error = IniError{number, reason};
    return ini;
  };
  while (std::getline(in, raw)) {
    ++number;
    if (number == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);  // a byte-order mark
    const std::string line = trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') return fail("a section line must end in ']'");
      const std::string name = trim(line.substr(1, line.size() - 2));
      if (name.empty()) return fail("a section needs a name");
      for (const auto& s : ini.sections) {
        if (sameName(s.name, name)) return fail("section [" + name + "] is given twice");
      }
      ini.sections.push_back({name, number, {}});
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) return fail("expected 'key = value' or '[section]'");
    const std::string key = trim(line.substr(0, eq));
    if (key.empty()) return fail("an entry needs a key before '='");
    IniSection& section = ini.sections.back();
    if (section.find(key)) return fail("'" + key + "' is given twice in this section");
    section.entries.push_back({key, unquote(trim(line.substr(eq + 1))), number});
  }
  return ini;
}

}  // namespace ostrel::core
