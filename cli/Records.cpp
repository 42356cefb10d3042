#include "cli/Records.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cli/Exit.h"
#include "cli/System.h"
#include "common/LocalTime.h"

namespace ostrel::cli {

bool WriteRecord(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::string IsoTimestampNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const long ms =
      static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  const std::tm tm = LocalTimeOf(secs);
  char base[32];
  std::strftime(base, sizeof base, "%Y-%m-%dT%H:%M:%S", &tm);
  const int offset = UtcOffsetMinutes(secs);
  const int whole = offset < 0 ? -offset : offset;
  char out[64];
  std::snprintf(out, sizeof out, "%s.%03ld%c%02d:%02d", base, ms, offset < 0 ? '-' : '+', whole / 60, whole % 60);
  return out;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

RecordOutput::~RecordOutput() {
  if (fd_ > kStandardError) ::close(fd_);
}

void RecordOutput::open() {
  if (fd_ >= 0) return;
  if (path_.empty() || path_ == "-") {
    fd_ = kStandardOutput;
    return;
  }
  fd_ = OpenForWriting(path_);
  if (fd_ < 0) throw CliError(kExitUsage, "cannot write " + path_ + " (" + std::strerror(errno) + ")");
}

void RecordOutput::write(std::string_view record) {
  open();
  if (!WriteRecord(fd_, record))
    throw CliError(kExitUsage, "cannot write " + (path_.empty() ? std::string("the output") : path_) + " (" +
                                   std::strerror(errno) + ")");
}

}  // namespace ostrel::cli
