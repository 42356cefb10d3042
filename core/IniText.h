#pragma once
// A plain reader of INI text: "[Section]" lines, "key = value" lines, comments starting with ';'
// or '#'. Every entry keeps its line number, so a caller can name the line it refuses.
#include <optional>
#include <string>
#include <vector>

namespace ostrel::core {

struct IniEntry {
  std::string key;
  std::string value;
  int line = 0;
};

struct IniSection {
  std::string name;  // "" for the entries before the first section
  int line = 0;
  std::vector<IniEntry> entries;
  // The entry of this key (case-insensitive), or nullptr.
  const IniEntry* find(const std::string& key) const;
};

struct IniError {
  int line = 0;
  std::string reason;
};

struct IniText {
  std::vector<IniSection> sections;
  std::optional<IniError> error;  // the first line that is neither section, entry nor comment
};

// Blanks around keys and values are dropped; a value may be quoted with '"' to keep them.
// A key given twice in one section, a section given twice and an entry without '=' are errors.
IniText ParseIni(const std::string& text);

}  // namespace ostrel::core
