#pragma once
// The settings file: an INI file in Windows-1251. Plain C++, no Qt.
//
// The file is kept line by line as raw bytes, so sections, keys, comments and
// texts that this program does not own survive a read-modify-write unchanged.
// Section and key names compare without regard to case (ASCII and Cyrillic).
// Values cross the API as UTF-8 and are converted at this boundary.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

// No settings file is larger; a larger file is read up to its last whole
// line within this bound.
inline constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;

class IniFile {
 public:
  // Reads the file; a missing or unreadable file, or one that is not a
  // regular file (a folder, a FIFO, a device), gives an empty document.
  // Returns false when the file could not be read (missing included).
  bool load(const std::string& path);
  void parse(const std::string& bytes);

  // The first value of the key in the first section of that name, trimmed.
  std::optional<std::string> value(const std::string& section, const std::string& key) const;
  std::string readString(const std::string& section, const std::string& key, const std::string& def) const;
  // Decimal integer (blanks and a sign allowed); anything else gives def.
  long long readInteger(const std::string& section, const std::string& key, long long def) const;
  // Read as an integer; nonzero is true.
  bool readBool(const std::string& section, const std::string& key, bool def) const;

  // Replaces the value in place, or adds the key at the end of its section,
  // or adds the section at the end of the file.
  void writeString(const std::string& section, const std::string& key, const std::string& value);
  void writeInteger(const std::string& section, const std::string& key, long long value);
  void writeBool(const std::string& section, const std::string& key, bool value);

  std::string serialize() const;
  // Writes beside the target and renames it into place, so a failed write
  // never leaves a half-written file. False when the file could not be
  // written, or when something other than a regular file stands at path.
  bool save(const std::string& path) const;

 private:
  struct Line {
    std::string raw;  // bytes of the line without its line end
  };
  int findSection(const std::string& section) const;  // line index of the header, -1
  int findKey(int sectionLine, const std::string& key) const;
  std::vector<Line> lines_;
  std::string eol_ = "\r\n";
  bool finalEol_ = true;
};

// Parses a signed decimal integer with optional surrounding blanks.
std::optional<long long> parseInteger(const std::string& text);

}  // namespace ostrel
