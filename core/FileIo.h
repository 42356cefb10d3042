#pragma once
// Whole-file reads and crash-safe whole-file replacement.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

struct FileWriteResult {
  bool ok = false;
  int errorNumber = 0;    // errno of the step that failed
  std::string errorText;  // the system's text for it, with the failing step
  explicit operator bool() const { return ok; }
};

// Replaces the file at path with bytes, or creates it. The bytes go to a new
// temporary file in the same folder, which is flushed to the disk and only
// then renamed over the target, so readers see either the old or the new
// content, never a part of it. Any failure (folder missing, disk full, a
// folder standing where the file should be) removes the temporary file and
// leaves an existing target exactly as it was. A target that is a symbolic
// link has the file it points to replaced; the link stays. A target that
// exists and is not a regular file (a folder, a FIFO, a device) is refused. A replaced file
// keeps its permission bits; a new one gets 0666 less the umask.
FileWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes);

// The first bytes of a file the user named, at most maxBytes of them.
struct BoundedRead {
  std::string bytes;
  bool complete = true;  // false: the file holds more than maxBytes
};

// Reads a regular file, at most maxBytes. Nothing when it cannot be read:
// missing, no permission, or not a regular file at all (a folder, a FIFO, a
// device). The file is opened without blocking, so a FIFO without a writer
// or a terminal never stalls the caller, and a device that never ends is not
// read.
std::optional<BoundedRead> ReadRegularFile(const std::string& path, std::size_t maxBytes);

// The whole content of a regular file, or nothing when it cannot be read
// (as ReadRegularFile).
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace ostrel
