#pragma once
// The options of one command: "--name value", "--name=value", short aliases,
// and flags. Anything else is a usage error naming the offending word.
#include <map>
#include <set>
#include <string>
#include <vector>

namespace ostrel::cli {

struct OptionSpec {
  std::string name;  // "--port"
  bool takesValue;
  std::string alias;  // "-o", or empty
};

class Args {
 public:
  // Throws a usage error for an unknown option, a missing value, a stray
  // word or an option given twice.
  Args(const std::string& command, const std::vector<OptionSpec>& specs, const std::vector<std::string>& words);

  bool has(const std::string& name) const { return values_.count(name) || flags_.count(name); }
  std::string text(const std::string& name, const std::string& fallback = {}) const;
  // The option's value, which must be given.
  std::string required(const std::string& name) const;
  // A whole decimal number in lo..hi, or the fallback when the option is absent.
  long integer(const std::string& name, long lo, long hi, long fallback) const;
  // Seconds as a decimal number ("2", "0.5") or with a unit ("90s", "15m",
  // "12h", "1d"), as whole milliseconds, at least minMs.
  long long durationMs(const std::string& name, long long minMs) const;

 private:
  std::string command_;
  std::map<std::string, std::string> values_;
  std::set<std::string> flags_;
};

// Parses "123" as a whole number in lo..hi; false for anything else.
bool ParseWhole(const std::string& text, long lo, long hi, long& out);

}  // namespace ostrel::cli
