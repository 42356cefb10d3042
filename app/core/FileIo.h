#pragma once
// Whole-file reads and crash-safe whole-file replacement.
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
// link has the file it points to replaced; the link stays. A replaced file
// keeps its permission bits; a new one gets 0666 less the umask.
FileWriteResult WriteFileAtomically(const std::string& path, std::string_view bytes);

// The whole content of a regular file, or nothing when it cannot be read
// (missing, no permission, a folder).
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace ostrel
