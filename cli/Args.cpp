#include "cli/Args.h"

#include <cmath>
#include <cstdlib>

#include "cli/Exit.h"

namespace ostrel::cli {
namespace {

const OptionSpec* find(const std::vector<OptionSpec>& specs, const std::string& word) {
  for (const auto& s : specs) {
    if (s.name == word || (!s.alias.empty() && s.alias == word)) return &s;
  }
  return nullptr;
}

}  // namespace

bool ParseWhole(const std::string& text, long lo, long hi, long& out) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

Args::Args(const std::string& command, const std::vector<OptionSpec>& specs, const std::vector<std::string>& words)
    : command_(command) {
  const std::string help = "; see 'ostrel-cli " + command + " --help'";
  for (size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    std::string value;
    bool inlineValue = false;
    if (word.rfind("--", 0) == 0) {
      if (const size_t eq = word.find('='); eq != std::string::npos) {
        value = word.substr(eq + 1);
        word = word.substr(0, eq);
        inlineValue = true;
      }
    }
    const OptionSpec* option = find(specs, word);
    if (!option) {
      if (!word.empty() && word[0] == '-') throw UsageError("unknown option '" + word + "'" + help);
      throw UsageError("unexpected argument '" + word + "'" + help);
    }
    if (has(option->name)) throw UsageError("option " + option->name + " given twice" + help);
    if (!option->takesValue) {
      if (inlineValue) throw UsageError("option " + option->name + " takes no value" + help);
      flags_.insert(option->name);
      continue;
    }
    if (!inlineValue) {
      if (i + 1 >= words.size()) throw UsageError("option " + option->name + " needs a value" + help);
      value = words[++i];
    }
    values_[option->name] = value;
  }
}

std::string Args::text(const std::string& name, const std::string& fallback) const {
  const auto it = values_.find(name);
  return it == values_.end() ? fallback : it->second;
}

std::string Args::required(const std::string& name) const {
  const auto it = values_.find(name);
  if (it == values_.end() || it->second.empty())
    throw UsageError("option " + name + " is required; see 'ostrel-cli " + command_ + " --help'");
  return it->second;
}

long Args::integer(const std::string& name, long lo, long hi, long fallback) const {
  const auto it = values_.find(name);
  if (it == values_.end()) return fallback;
  long v = 0;
  if (!ParseWhole(it->second, lo, hi, v))
    throw UsageError(name + " must be a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) +
                     " (got '" + it->second + "')");
  return v;
}

long long Args::durationMs(const std::string& name, long long minMs) const {
  const std::string t = text(name);
  const auto bad = [&] {
    return UsageError(name + " takes seconds, e.g. 5, 0.5, 90s, 15m, 12h or 1d (got '" + t + "')");
  };
  if (t.empty()) throw bad();
  double unit = 1000.0;
  std::string number = t;
  switch (t.back()) {
    case 's':
      unit = 1000.0;
      number.pop_back();
      break;
    case 'm':
      unit = 60e3;
      number.pop_back();
      break;
    case 'h':
      unit = 3600e3;
      number.pop_back();
      break;
    case 'd':
      unit = 86400e3;
      number.pop_back();
      break;
    default: break;
  }
  if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos ||
      number.find('.') != number.rfind('.'))
    throw bad();
  const double ms = std::round(std::strtod(number.c_str(), nullptr) * unit);
  if (!(ms >= static_cast<double>(minMs)) || ms > 1e13)
    throw UsageError(name + " must be at least " + std::to_string(minMs) + " ms (got '" + t + "')");
  return static_cast<long long>(ms);
}

}  // namespace ostrel::cli
