#pragma once
// Where the program keeps its settings file, files/log.txt and the default
// data folder, and where an installed program finds its shipped files.
// Plain C++, no Qt.
//
// OSTREL_HOME, when set, names the folder (created when missing). Otherwise
// it is the executable's folder, as in a build folder or an unzipped copy,
// unless the executable is installed: then a per-user folder, with its
// sub-folder "files" created: on Linux $XDG_CONFIG_HOME/ostrel, or
// ~/.config/ostrel; on Windows %APPDATA%\Ostrel. Paths are UTF-8.
#include <string>

namespace ostrel {

// Folder of the running executable, without a trailing separator.
std::string ExecutableFolder();
// File name of the running executable without folder and extension ("ostrel").
std::string ExecutableBaseName();
// The program's folder as described above, without a trailing separator.
std::string ProgramFolder();
// <program folder>/<executable name>.ini
std::string SettingsFilePath();

// What the choice of the program's folder depends on, gathered so that the
// rule can be checked for any executable folder and environment.
struct FolderContext {
  std::string executableFolder;
  std::string override_;   // OSTREL_HOME
  std::string configHome;  // XDG_CONFIG_HOME; on Windows %APPDATA%
  std::string home;        // HOME, or the password database's home folder; %USERPROFILE%
};
FolderContext CurrentFolderContext();
std::string ChooseProgramFolder(const FolderContext& c);

// The executable is installed when its folder cannot be written, or when it
// lies where installers put programs, so that an administrator, who can write
// there, still keeps files per user: on Linux the installation's data folder
// <prefix>/share/ostrel stands beside its bin folder; on Windows the folder
// lies under Program Files.
bool IsInstalledExecutable(const std::string& executableFolder);
// The folder of the shipped data of an installed executable: <prefix>/share/ostrel.
std::string InstalledDataFolder(const std::string& executableFolder);
// The HTML user manual: manual/index.html in the data folder of an installed
// executable (on Windows the executable's own folder, installed or unzipped),
// the source tree's docs/manual/index.html for a build folder.
std::string UserManualPath(const std::string& executableFolder);

}  // namespace ostrel
