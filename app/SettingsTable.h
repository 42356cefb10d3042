#pragma once
// The window's settings as the settings file keeps them, and the one list of
// their keys: the file is read and written from the same list. Plain C++.
#include <string>

#include "IniFile.h"

namespace ostrel {

// A serial link's choices.
struct LinkSettings {
  std::string name, speed, parity, stop;
  bool autoOpen = false;
};

struct WindowSettings {
  LinkSettings panelLink;
  LinkSettings modbusLink;
  long long responseTimeout = 300;  // the panel link's, in ms
  long long modbusTimeout = 600;    // the Modbus reply wait, in ms
  long long slaveAddress = 1;
  std::string startAddress = "1";  // the first input register to read
  std::string registerCount = "125";
  std::string dataDir;  // the CSV dialogs' folder
};

// The settings before the user chose any; dataDir: the program's folder.
WindowSettings DefaultWindowSettings(const std::string& dataDir);

// Each key of the file, in the file's order; a key the file lacks keeps the value it has in s.
void ReadWindowSettings(const IniFile& ini, WindowSettings& s);
void WriteWindowSettings(const WindowSettings& s, IniFile& ini);

// Spin positions are signed 16-bit; a value beyond that range is taken as
// the nearest 16-bit value, and the up-down then puts it on its own limits.
int SpinPosition(long long value);

}  // namespace ostrel
