// The program's folder on Windows: the executable's folder, as for an unzipped copy, unless
// the copy is installed (its folder cannot be written, or lies under Program Files): then
// %APPDATA%\Ostrel. Names are UTF-16 towards the system and UTF-8 inside.
#include <windows.h>
// clang-format off
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <filesystem>
#include <system_error>

#include "ProgramFolder.h"
#include "common/WideText.h"

namespace ostrel {
namespace fs = std::filesystem;
namespace {

fs::path pathOf(const std::string& utf8) { return fs::path(WideFromUtf8(utf8)); }
std::string utf8Of(const fs::path& p) { return Utf8FromWide(p.wstring()); }

fs::path executablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return fs::current_path() / L"ostrel.exe";
    if (n < buffer.size()) return fs::path(buffer.substr(0, n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string env(const wchar_t* name) {
  const wchar_t* v = _wgetenv(name);
  return v ? Utf8FromWide(v) : std::string();
}

bool ensureFolder(const fs::path& p) {
  std::error_code ec;
  fs::create_directories(p, ec);
  return fs::is_directory(p, ec);
}

// Whether a file can be made in the folder: the only test that the folder's access rules
// answer truly.
bool writable(const fs::path& folder) {
  const fs::path probe = folder / (L".ostrel-write-test-" + std::to_wstring(GetCurrentProcessId()));
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

fs::path knownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  fs::path out;
  if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) out = path;
  CoTaskMemFree(path);
  return out;
}

// Whether folder lies in base (case does not count in Windows' names).
bool within(const fs::path& folder, const fs::path& base) {
  if (base.empty()) return false;
  const std::wstring f = folder.lexically_normal().wstring(), b = base.lexically_normal().wstring();
  if (f.size() < b.size()) return false;
  const int n = static_cast<int>(b.size());
  if (CompareStringOrdinal(f.c_str(), n, b.c_str(), n, TRUE) != CSTR_EQUAL) return false;
  return f.size() == b.size() || f[b.size()] == L'\\' || f[b.size()] == L'/' || b.back() == L'\\';
}

bool underProgramFiles(const fs::path& folder) {
  return within(folder, knownFolder(FOLDERID_ProgramFiles)) || within(folder, knownFolder(FOLDERID_ProgramFilesX86));
}

fs::path perUserFolder(const FolderContext& c) {
  if (!c.configHome.empty()) return pathOf(c.configHome) / L"Ostrel";
  if (!c.home.empty()) return pathOf(c.home) / L"AppData" / L"Roaming" / L"Ostrel";
  return {};
}

}  // namespace

std::string ExecutableFolder() { return utf8Of(executablePath().parent_path()); }

std::string ExecutableBaseName() { return utf8Of(executablePath().stem()); }

FolderContext CurrentFolderContext() {
  return {ExecutableFolder(), env(L"OSTREL_HOME"), env(L"APPDATA"), env(L"USERPROFILE")};
}

std::string InstalledDataFolder(const std::string& executableFolder) { return executableFolder; }

bool IsInstalledExecutable(const std::string& executableFolder) {
  const fs::path folder = pathOf(executableFolder);
  return underProgramFiles(folder) || !writable(folder);
}

std::string UserManualPath(const std::string& executableFolder) {
  const fs::path shipped = pathOf(executableFolder) / L"manual" / L"index.html";
  std::error_code ec;
  if (fs::is_regular_file(shipped, ec)) return utf8Of(shipped);
  return utf8Of(pathOf(OSTREL_SOURCE_DIR) / L"docs" / L"manual" / L"index.html");
}

std::string ChooseProgramFolder(const FolderContext& c) {
  if (!c.override_.empty()) {
    ensureFolder(pathOf(c.override_));
    return c.override_;
  }
  if (!IsInstalledExecutable(c.executableFolder)) return c.executableFolder;
  const fs::path user = perUserFolder(c);
  // Without a usable profile the per-user folder is still the answer: every write then fails
  // and says so, and nothing is written anywhere else.
  if (user.empty()) return c.executableFolder;
  if (ensureFolder(user)) ensureFolder(user / L"files");
  return utf8Of(user);
}

std::string ProgramFolder() { return ChooseProgramFolder(CurrentFolderContext()); }

std::string SettingsFilePath() { return utf8Of(pathOf(ProgramFolder()) / pathOf(ExecutableBaseName() + ".ini")); }

}  // namespace ostrel
