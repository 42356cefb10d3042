#pragma once
// A command sent to a panel as JSON, turned into the words of ostrel-cli's write:
//   {"id": "42", "write": "command", "command": "zone", "panel": 3, "target": 17, "disable": true}
//   {"write": "registers", "address": 100, "values": [59769, 17142]}
// Every other key is the option of that name ("line_parity" is --line-parity); true is a flag,
// false leaves it out. "address" and "value"/"values" of register writes are its positional
// words.
#include <stdexcept>
#include <string>

#include "cli/Commands.h"

namespace ostrel::monitor {

struct CommandWords {
  std::string id;  // echoed in the result, so the sender can match it
  cli::Words words;
};

class CommandJsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws CommandJsonError for anything that is not such an object.
CommandWords CommandFromJson(const std::string& json);

}  // namespace ostrel::monitor
