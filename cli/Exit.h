#pragma once
// Exit codes of ostrel-cli and the error that carries one to main.
#include <stdexcept>
#include <string>

namespace ostrel::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitPanel = 1,          // the panel refused, did not answer, or answered garbage
  kExitUsage = 2,          // bad command line
  kExitPort = 3,           // the port could not be opened (or went away)
  kExitInterrupted = 130,  // Ctrl+C or SIGTERM; the output is whole up to the last record
  kExitOutputClosed = 141  // the reader of standard output went away (as `| head`); as 130 otherwise
};

// One-line message naming the cause, and the code to exit with.
class CliError : public std::runtime_error {
 public:
  CliError(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

inline CliError UsageError(const std::string& message) { return CliError(kExitUsage, message); }

}  // namespace ostrel::cli
