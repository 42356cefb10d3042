#pragma once
// The request of one write of ostrel-cli, planned from its words ("command", "--command",
// "zone", ...) with every check the command line makes, for a program that sends it itself.
#include <cstdint>
#include <string>

#include "cli/Commands.h"

namespace ostrel::cli {

struct PlannedWrite {
  std::string frame;
  std::string what;  // for the confirmation: "command register 1 = 0x3111"
};

// Throws a usage CliError for anything the command line refuses. Port options are not taken.
PlannedWrite PlanWrite(const Words& words, uint8_t slave);

}  // namespace ostrel::cli
