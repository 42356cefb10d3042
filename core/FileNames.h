#pragma once
// Names the window suggests in its save dialogs.
#include <string>
#include <string_view>

namespace ostrel {

// "meters_data_" + the short date + ".csv". The user's short date format
// may hold characters that a file name cannot (the "/" of "12/8/26" is the
// folder separator on Linux; Windows also refuses \ : * ? " < > |). Each of
// those, and every control character, becomes "-", so a file saved here
// can also be copied to a Windows installation: "12/8/26" gives
// "meters_data_12-8-26.csv", "08.12.2026" stays as it is.
std::string SuggestedDeviceFileName(std::string_view shortDateText);

// The path a save dialog settles on: a file name without an extension
// ("meters" or "dir.v2/meters") gets "." + ext; any other is kept, as a save
// dialog's default extension works. A leading dot does not start an
// extension (".meters" gets one too). An empty ext changes nothing.
std::string WithDefaultExtension(const std::string& path, const std::string& ext);
inline std::string WithCsvExtension(const std::string& path) { return WithDefaultExtension(path, "csv"); }

}  // namespace ostrel
