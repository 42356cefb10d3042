#pragma once
// Where the program keeps its files: the settings file, "files/log.txt" and
// the default data folder live beside the executable, as on Windows. When
// that folder cannot be written (an installed program under /usr), one
// per-user folder is used instead: $XDG_DATA_HOME/ostrel, or
// ~/.local/share/ostrel when XDG_DATA_HOME is not set. That folder and its
// sub-folder "files" are created on first use, as an installation beside the
// executable ships them.
#include <string>

namespace ostrel {

// The folder holding the running executable ("" if it cannot be found).
std::string ExecutableFolder();
// The executable's file name without folder ("ostrel").
std::string ExecutableName();

std::string PerUserFolder();

struct ProgramFolderChoice {
  std::string folder;
  bool perUser = false;  // true when the executable's folder was not writable
};

// executableFolder when it can be written, otherwise the per-user folder
// (created with its "files" sub-folder; creation failures are left to the
// first write to report).
ProgramFolderChoice ChooseProgramFolder(const std::string& executableFolder);

// "<folder>/files/log.txt".
std::string LogFilePath(const std::string& programFolder);

}  // namespace ostrel
