#pragma once
// Where the program keeps its settings file, files/log.txt and the default
// data folder. Plain C++, no Qt.
//
// OSTREL_HOME, when set, names the folder (created when missing). Otherwise
// it is the executable's folder, unless that folder cannot be written (an
// installed program): then $XDG_CONFIG_HOME/ostrel, or ~/.config/ostrel.
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

}  // namespace ostrel
