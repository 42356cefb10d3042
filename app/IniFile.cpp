#include "IniFile.h"

#include <limits>

#include "common/cp1251.h"
#include "core/FileIo.h"

namespace ostrel {
namespace {

// A carriage return counts as blank too: one left at the end of a file that ends without a
// line end belongs to no name or value.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Lower case of one Windows-1251 byte: ASCII letters and the Cyrillic range.
unsigned char lower1251(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDF) return c + 32;
  if (c == 0xA8) return 0xB8;  // Ё
  return c;
}

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower1251(a[i]) != lower1251(b[i])) return false;
  return true;
}

// "[name]" -> name; nullopt for any other line.
std::optional<std::string> sectionName(const std::string& raw) {
  std::string t = trim(raw);
  if (t.size() < 2 || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return trim(t.substr(1, close - 1));
}

bool isComment(const std::string& t) { return !t.empty() && (t[0] == ';' || t[0] == '#'); }

// key of a "key=value" line; nullopt for blank lines, comments and headers.
std::optional<std::string> keyOf(const std::string& raw) {
  std::string t = trim(raw);
  if (t.empty() || isComment(t) || t[0] == '[') return std::nullopt;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return std::nullopt;
  return trim(t.substr(0, eq));
}

std::string valueOf(const std::string& raw) {
  size_t eq = raw.find('=');
  return eq == std::string::npos ? std::string() : trim(raw.substr(eq + 1));
}

// Value text in the file's encoding, kept on one line.
std::string toFile(const std::string& utf8) {
  std::string v = utf8ToCp1251(utf8);
  for (char& c : v)
    if (c == '\r' || c == '\n') c = ' ';
  return v;
}

}  // namespace

std::optional<long long> parseInteger(const std::string& text) {
  std::string t = trim(text);
  if (t.empty()) return std::nullopt;
  size_t i = 0;
  bool neg = false;
  if (t[0] == '+' || t[0] == '-') {
    neg = t[0] == '-';
    i = 1;
  }
  if (i >= t.size()) return std::nullopt;
  long long v = 0;
  const long long cap = std::numeric_limits<long long>::max() / 10 - 10;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    if (v < cap) v = v * 10 + (t[i] - '0');  // saturates: callers clamp anyway
  }
  return neg ? -v : v;
}

bool IniFile::load(const std::string& path) {
  lines_.clear();
  std::optional<BoundedRead> file = ReadRegularFile(path, kMaxSettingsFileBytes);
  if (!file) return false;
  std::string& bytes = file->bytes;
  // A file larger than any settings file: the line cut off at the bound, and
  // everything after it, is not taken.
  if (!file->complete) bytes.resize(bytes.find_last_of("\r\n") + 1);
  parse(bytes);
  return true;
}

void IniFile::parse(const std::string& bytes) {
  lines_.clear();
  // Lines end at CR LF, a lone LF or a lone CR; the file keeps the kind of
  // its first line end when written back.
  const size_t firstEnd = bytes.find_first_of("\r\n");
  if (firstEnd == std::string::npos || bytes.compare(firstEnd, 2, "\r\n") == 0)
    eol_ = "\r\n";
  else
    eol_ = bytes.substr(firstEnd, 1);
  finalEol_ = bytes.empty() || bytes.back() == '\n' || bytes.back() == '\r';
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = bytes.size();
    lines_.push_back({bytes.substr(pos, end - pos)});
    pos = end;
    if (pos < bytes.size()) pos += bytes.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
  }
}

int IniFile::findSection(const std::string& section) const {
  const std::string want = utf8ToCp1251(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    auto name = sectionName(lines_[i].raw);
    if (name && sameName(*name, want)) return static_cast<int>(i);
  }
  return -1;
}

int IniFile::findKey(int sectionLine, const std::string& key) const {
  const std::string want = utf8ToCp1251(key);
  for (size_t i = sectionLine + 1; i < lines_.size(); ++i) {
    if (sectionName(lines_[i].raw)) break;
    auto k = keyOf(lines_[i].raw);
    if (k && sameName(*k, want)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::string> IniFile::value(const std::string& section, const std::string& key) const {
  int s = findSection(section);
  if (s < 0) return std::nullopt;
  int k = findKey(s, key);
  if (k < 0) return std::nullopt;
  return cp1251ToUtf8(valueOf(lines_[k].raw));
}

std::string IniFile::readString(const std::string& section, const std::string& key, const std::string& def) const {
  auto v = value(section, key);
  return v ? *v : def;
}

long long IniFile::readInteger(const std::string& section, const std::string& key, long long def) const {
  auto v = value(section, key);
  if (!v) return def;
  auto n = parseInteger(*v);
  return n ? *n : def;
}

bool IniFile::readBool(const std::string& section, const std::string& key, bool def) const {
  return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const std::string& section, const std::string& key, const std::string& value) {
  const std::string v = toFile(value);
  int s = findSection(section);
  if (s < 0) {
    // The bracket is inserted, not added with "[" + ...: GCC 12 at -O3 warns of an overlapping copy there.
    lines_.push_back({utf8ToCp1251(section).insert(0, 1, '[') + "]"});
    lines_.push_back({utf8ToCp1251(key) + "=" + v});
    return;
  }
  int k = findKey(s, key);
  if (k >= 0) {
    // Keep the key as it is spelt in the file.
    std::string& raw = lines_[k].raw;
    raw = raw.substr(0, raw.find('=') + 1) + v;
    return;
  }
  // After the last non-blank line of the section.
  size_t at = s + 1, i = s + 1;
  for (; i < lines_.size() && !sectionName(lines_[i].raw); ++i)
    if (!trim(lines_[i].raw).empty()) at = i + 1;
  lines_.insert(lines_.begin() + at, {utf8ToCp1251(key) + "=" + v});
}

void IniFile::writeInteger(const std::string& section, const std::string& key, long long value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(const std::string& section, const std::string& key, bool value) {
  writeString(section, key, value ? "1" : "0");
}

std::string IniFile::serialize() const {
  std::string out;
  for (size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].raw;
    if (i + 1 < lines_.size() || finalEol_) out += eol_;
  }
  return out;
}

bool IniFile::save(const std::string& path) const { return WriteFileAtomically(path, serialize()).ok; }

}  // namespace ostrel
