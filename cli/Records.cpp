#include "cli/Records.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "cli/Args.h"
#include "cli/Commands.h"
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

int PrintHelp(const char* text) {
  WriteRecord(kStandardOutput, text);
  return kExitOk;
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

std::vector<OptionSpec> OutputOptions() {
  return {{"--output", true, "-o"}, {"--append", false, ""}, {"--no-header", false, ""}};
}

OutputChoice OutputFrom(const Args& args) {
  OutputChoice c{args.text("--output"), args.has("--append"), !args.has("--no-header")};
  if (c.append && (c.path.empty() || c.path == "-")) throw UsageError("--append needs -o FILE");
  return c;
}

RecordOutput::~RecordOutput() {
  try {
    finish();
  } catch (const CliError&) {
    // The command has ended already; its own error, if any, was said.
  }
}

void RecordOutput::open() {
  if (fd_ >= 0) return;
  if (!toFile()) {
    fd_ = kStandardOutput;
    return;
  }
  fd_ = OpenUnlessAFile(choice_.path);
  if (fd_ < 0 && errno == 0) {
    target_ = FileBehind(choice_.path);
    fd_ = choice_.append ? OpenForAppending(target_, empty_) : CreateFileBeside(target_, temporary_);
  }
  if (fd_ < 0) throw CliError(kExitUsage, "cannot write " + choice_.path + " (" + std::strerror(errno) + ")");
}

void RecordOutput::write(std::string_view record) {
  open();
  if (record.empty()) return;
  if (WriteRecord(fd_, record)) {
    empty_ = false;
    return;
  }
  const int error = errno;
  if (!toFile() && error == EPIPE) throw CliError(kExitOutputClosed, "");
  failed_ = true;
  throw CliError(kExitUsage, "cannot write " + (toFile() ? choice_.path : std::string("the output")) + " (" +
                                 std::strerror(error) + ")");
}

void RecordOutput::finish() {
  if (fd_ <= kStandardError) return;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (temporary_.empty()) return;
  const std::string temporary = std::move(temporary_);
  temporary_.clear();
  if (failed_ || !closed) {
    // What was written is incomplete: the file it was to replace stays as it was.
    RemoveFile(temporary);
    return;
  }
  if (!MoveIntoPlace(temporary, target_)) {
    const int error = errno;
    RemoveFile(temporary);
    throw CliError(kExitUsage, "cannot write " + choice_.path + " (" + std::strerror(error) + ")");
  }
}

}  // namespace ostrel::cli
