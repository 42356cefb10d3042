#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "common/cp1251.h"

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
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  parse(ss.str());
  return true;
}

void IniFile::parse(const std::string& bytes) {
  lines_.clear();
  eol_ = bytes.find("\r\n") != std::string::npos || bytes.empty() ? "\r\n" : "\n";
  finalEol_ = bytes.empty() || bytes.back() == '\n';
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t nl = bytes.find('\n', pos);
    size_t end = nl == std::string::npos ? bytes.size() : nl;
    std::string raw = bytes.substr(pos, end - pos);
    // Only a carriage return before a line feed is part of the line end; the last line keeps
    // its bytes, so the file writes back as it was read.
    if (nl != std::string::npos && !raw.empty() && raw.back() == '\r') raw.pop_back();
    lines_.push_back({std::move(raw)});
    pos = nl == std::string::npos ? bytes.size() : nl + 1;
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

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
  auto v = value(section, key);
  return v ? *v : def;
}

long long IniFile::readInteger(const std::string& section, const std::string& key,
                               long long def) const {
  auto v = value(section, key);
  if (!v) return def;
  auto n = parseInteger(*v);
  return n ? *n : def;
}

bool IniFile::readBool(const std::string& section, const std::string& key, bool def) const {
  return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const std::string& section, const std::string& key,
                          const std::string& value) {
  const std::string v = toFile(value);
  int s = findSection(section);
  if (s < 0) {
    lines_.push_back({"[" + utf8ToCp1251(section) + "]"});
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

bool IniFile::save(const std::string& where) const {
  const std::string data = serialize();
  // A settings file that is a symbolic link is replaced where it points to,
  // and a replaced file keeps its permissions.
  std::string path = where;
  std::error_code ec;
  if (std::filesystem::is_symlink(where, ec)) {
    auto target = std::filesystem::weakly_canonical(where, ec);
    if (!ec) path = target.string();
  }
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
  const std::string tmp = path + ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::fchmod(fd, mode);
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) { ok = false; break; }
    done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tmp.c_str());
  return ok;
}

}  // namespace ostrel
