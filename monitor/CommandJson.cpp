#include "monitor/CommandJson.h"

#include <cctype>
#include <vector>

namespace ostrel::monitor {
namespace {

// A reader of the one shape a command has: an object of strings, numbers, booleans and arrays
// of numbers. Nesting, null and escapes other than \" \\ \/ are refused.
class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}

  [[noreturn]] void fail(const std::string& what) const {
    throw CommandJsonError("not a command: " + what + " at byte " + std::to_string(at_ + 1));
  }
  void blanks() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  bool take(char c) {
    blanks();
    if (at_ < s_.size() && s_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!take(c)) fail(std::string("expected '") + c + "'");
  }
  bool atEnd() {
    blanks();
    return at_ == s_.size();
  }

  std::string string() {
    expect('"');
    std::string out;
    while (at_ < s_.size() && s_[at_] != '"') {
      char c = s_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) fail("a control character in a string");
      if (c == '\\') {
        if (at_ >= s_.size()) break;
        c = s_[at_++];
        if (c != '"' && c != '\\' && c != '/') fail("an escape other than \\\" \\\\ \\/");
      }
      out += c;
    }
    if (at_ >= s_.size()) fail("an unterminated string");
    ++at_;
    return out;
  }

  // A scalar as its word: a string as it is, a number as written, true/false.
  std::string scalar() {
    blanks();
    if (at_ < s_.size() && s_[at_] == '"') return string();
    for (const char* word : {"true", "false"}) {
      if (s_.compare(at_, std::char_traits<char>::length(word), word) == 0) {
        at_ += std::char_traits<char>::length(word);
        return word;
      }
    }
    const size_t start = at_;
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    while (at_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at_]))) ++at_;
    if (at_ == start) fail("a value that is no string, whole number, true or false");
    return s_.substr(start, at_ - start);
  }

 private:
  const std::string& s_;
  size_t at_ = 0;
};

std::string optionName(std::string key) {
  for (char& c : key) {
    if (c == '_') c = '-';
  }
  return "--" + key;
}

}  // namespace

CommandWords CommandFromJson(const std::string& json) {
  constexpr size_t kLargest = 8192;
  if (json.size() > kLargest) throw CommandJsonError("not a command: larger than 8 KB");
  Reader r(json);
  r.expect('{');
  CommandWords out;
  std::string which;
  std::vector<std::string> options, positional;
  std::string address;
  std::vector<std::string> values;
  if (!r.take('}')) {
    do {
      const std::string key = r.string();
      r.expect(':');
      if (key == "values") {
        r.expect('[');
        if (!r.take(']')) {
          do values.push_back(r.scalar());
          while (r.take(','));
          r.expect(']');
        }
        continue;
      }
      const std::string value = r.scalar();
      if (key == "id") {
        out.id = value;
      } else if (key == "write") {
        which = value;
      } else if (key == "address") {
        address = value;
      } else if (key == "value") {
        values.insert(values.begin(), value);
      } else if (value == "true") {
        options.push_back(optionName(key));
      } else if (value != "false") {
        options.push_back(optionName(key));
        options.push_back(value);
      }
    } while (r.take(','));
    r.expect('}');
  }
  if (!r.atEnd()) throw CommandJsonError("not a command: more after the object");
  if (which.empty())
    throw CommandJsonError(
        "not a command: \"write\" is missing (command, clock, line, address, register or registers)");
  out.words.push_back(which);
  if (!address.empty()) out.words.push_back(address);
  for (auto& v : values) out.words.push_back(v);
  for (auto& o : options) out.words.push_back(o);
  return out;
}

}  // namespace ostrel::monitor
