#pragma once
// Output written record by record: each record (a CSV line, a JSON line, a
// table) goes out whole, so an interrupted run leaves no half line behind.
#include <string>
#include <string_view>

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

// Where the records of a command go: standard output, or a file created
// when the command is ready to write (after its port opened).
class RecordOutput {
 public:
  explicit RecordOutput(std::string path = {}) : path_(std::move(path)) {}
  ~RecordOutput();
  RecordOutput(const RecordOutput&) = delete;
  RecordOutput& operator=(const RecordOutput&) = delete;

  const std::string& path() const { return path_; }
  // Creates (or empties) the file; throws a CliError when it cannot.
  void open();
  // Throws a CliError when the output refuses the record.
  void write(std::string_view record);

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace ostrel::cli
