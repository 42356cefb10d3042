#pragma once
// Output written record by record: each record (a CSV line, a JSON line, a
// table) goes out whole, so an interrupted run leaves no half line behind.
#include <string>
#include <string_view>
#include <vector>

#include "cli/Args.h"

namespace ostrel::cli {

inline constexpr int kStandardOutput = 1, kStandardError = 2;

// Writes all bytes, going on after partial writes and interruptions by
// signals. False (errno set) when the output refuses them.
bool WriteRecord(int fd, std::string_view bytes);

// The local time now as ISO 8601 with milliseconds and offset,
// e.g. 2026-12-08T10:41:31.123+01:00.
std::string IsoTimestampNow();

// A JSON string literal (quotes included) of UTF-8 text.
std::string JsonString(std::string_view text);

// How a command's output file is written.
struct OutputChoice {
  std::string path;     // empty or "-": standard output
  bool append = false;  // add to the file's end instead of replacing it
  bool header = true;   // a CSV header line goes first (only into an empty output when appending)
};

// -o/--output, --append and --no-header; --append needs -o.
std::vector<OptionSpec> OutputOptions();
OutputChoice OutputFrom(const Args& args);

// Where the records of a command go: standard output, or a file. The file is made before the
// command touches its port, so a path that cannot be written is refused before any work is
// done. A file that replaces another is written beside it under a temporary name and put in its
// place when the command ends, so a run that fails to write leaves the old file as it was and
// never a half one; --append adds whole records to the file's end instead. A device or a pipe
// (/dev/null, a FIFO) is written as it is, and a link's target is replaced, not the link.
class RecordOutput {
 public:
  explicit RecordOutput(OutputChoice choice = {}) : choice_(std::move(choice)) {}
  ~RecordOutput();
  RecordOutput(const RecordOutput&) = delete;
  RecordOutput& operator=(const RecordOutput&) = delete;

  const std::string& path() const { return choice_.path; }
  bool toFile() const { return !choice_.path.empty() && choice_.path != "-"; }
  // Creates the file (or opens it for appending); throws a CliError when it cannot.
  void open();
  // Whether a header line belongs at the start of this output: asked for, and nothing is there
  // yet.
  bool wantsHeader() const { return choice_.header && empty_; }
  // Throws a CliError when the output refuses the record: kExitOutputClosed when the reader of
  // standard output has gone (nothing is said: nobody reads it any more).
  void write(std::string_view record);
  // Puts a replacing file in its place; the destructor does it too. Throws a CliError when
  // it cannot.
  void finish();

 private:
  OutputChoice choice_;
  std::string target_;  // the file written: the path's own, or its link's target
  std::string temporary_;
  int fd_ = -1;
  bool empty_ = true;
  bool failed_ = false;
};

}  // namespace ostrel::cli
