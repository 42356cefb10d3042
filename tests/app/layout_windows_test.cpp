// Which folder holds the settings file and files\log.txt on Windows: an unzipped copy keeps
// them beside the executable, an installed one (under Program Files) in %APPDATA%\Ostrel.
#include <gtest/gtest.h>
#include <windows.h>
// clang-format off
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "ProgramFolder.h"
#include "common/WideText.h"

using ostrel::ChooseProgramFolder;
using ostrel::FolderContext;
namespace fs = std::filesystem;

namespace {

std::string utf8(const fs::path& p) { return ostrel::Utf8FromWide(p.wstring()); }

fs::path programFiles() {
  PWSTR path = nullptr;
  fs::path out;
  if (SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &path) == S_OK) out = path;
  CoTaskMemFree(path);
  return out;
}

// A folder with a Cyrillic name, removed at the end.
struct TempFolder {
  fs::path path;
  explicit TempFolder(const fs::path& parent)
      : path(parent / (L"ostrel-\u041f\u0430\u043f\u043a\u0430-" + std::to_wstring(GetCurrentProcessId()))) {
    fs::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

}  // namespace

TEST(ProgramFolderOnWindows, AnUnzippedCopyKeepsItsFilesBesideTheExecutable) {
  const TempFolder unzipped(fs::temp_directory_path());
  const TempFolder appData(fs::temp_directory_path() / L"roaming");
  EXPECT_FALSE(ostrel::IsInstalledExecutable(utf8(unzipped.path)));
  EXPECT_EQ(ChooseProgramFolder({utf8(unzipped.path), "", utf8(appData.path), ""}), utf8(unzipped.path));
  EXPECT_TRUE(fs::is_empty(appData.path));
}

TEST(ProgramFolderOnWindows, AnInstalledCopyUsesAppDataOstrelWithItsFilesFolder) {
  ASSERT_FALSE(programFiles().empty());
  const TempFolder installed(programFiles());
  const TempFolder appData(fs::temp_directory_path() / L"roaming");
  EXPECT_TRUE(ostrel::IsInstalledExecutable(utf8(installed.path)));
  const std::string chosen = ChooseProgramFolder({utf8(installed.path), "", utf8(appData.path), ""});
  EXPECT_EQ(chosen, utf8(appData.path / L"Ostrel"));
  EXPECT_TRUE(fs::is_directory(appData.path / L"Ostrel" / L"files"));
  EXPECT_TRUE(fs::is_empty(installed.path));
  // Without %APPDATA% the profile's roaming folder is used.
  const TempFolder profile(fs::temp_directory_path());
  EXPECT_EQ(ChooseProgramFolder({utf8(installed.path), "", "", utf8(profile.path)}),
            utf8(profile.path / L"AppData" / L"Roaming" / L"Ostrel"));
}

TEST(ProgramFolderOnWindows, OverrideWinsAndTheManualIsTheShippedOne) {
  const TempFolder unzipped(fs::temp_directory_path());
  const std::string named = utf8(unzipped.path / L"\u0434\u043e\u043c");
  EXPECT_EQ(ChooseProgramFolder({utf8(unzipped.path), named, "", ""}), named);
  EXPECT_TRUE(fs::is_directory(unzipped.path / L"\u0434\u043e\u043c"));
  fs::create_directories(unzipped.path / L"manual");
  { std::ofstream(unzipped.path / L"manual" / L"index.html") << "<html></html>"; }
  EXPECT_EQ(ostrel::UserManualPath(utf8(unzipped.path)), utf8(unzipped.path / L"manual" / L"index.html"));
}
