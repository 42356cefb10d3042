// The program's folder on Linux.
#include "ProgramFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ostrel {
namespace fs = std::filesystem;
namespace {

fs::path executablePath() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec) / "ostrel";
  return p;
}

std::string env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string passwordHome() {
  const passwd* pw = ::getpwuid(::getuid());
  return pw && pw->pw_dir ? std::string(pw->pw_dir) : std::string();
}

bool ensureFolder(const fs::path& p) {
  std::error_code ec;
  fs::create_directories(p, ec);
  return fs::is_directory(p, ec);
}

bool writable(const fs::path& p) { return ::access(p.c_str(), W_OK | X_OK) == 0; }

fs::path perUserFolder(const FolderContext& c) {
  if (!c.configHome.empty()) return fs::path(c.configHome) / "ostrel";
  if (!c.home.empty()) return fs::path(c.home) / ".config" / "ostrel";
  return {};
}

}  // namespace

std::string ExecutableFolder() { return executablePath().parent_path().string(); }

std::string ExecutableBaseName() { return executablePath().stem().string(); }

FolderContext CurrentFolderContext() {
  FolderContext c{ExecutableFolder(), env("OSTREL_HOME"), env("XDG_CONFIG_HOME"), env("HOME")};
  if (c.home.empty()) c.home = passwordHome();
  return c;
}

std::string InstalledDataFolder(const std::string& executableFolder) {
  return (fs::path(executableFolder).parent_path() / "share" / "ostrel").string();
}

bool IsInstalledExecutable(const std::string& executableFolder) {
  std::error_code ec;
  return !writable(executableFolder) || fs::is_directory(InstalledDataFolder(executableFolder), ec);
}

std::string UserManualPath(const std::string& executableFolder) {
  if (IsInstalledExecutable(executableFolder))
    return (fs::path(InstalledDataFolder(executableFolder)) / "manual" / "index.html").string();
  return (fs::path(OSTREL_SOURCE_DIR) / "docs" / "manual" / "index.html").string();
}

std::string ChooseProgramFolder(const FolderContext& c) {
  if (!c.override_.empty()) {
    ensureFolder(c.override_);
    return c.override_;
  }
  if (!IsInstalledExecutable(c.executableFolder)) return c.executableFolder;
  const fs::path user = perUserFolder(c);
  // Without a usable home the per-user folder is still the answer: every
  // write then fails and says so, and nothing is written anywhere else.
  if (user.empty()) return c.executableFolder;
  if (ensureFolder(user)) ensureFolder(user / "files");
  return user.string();
}

std::string ProgramFolder() { return ChooseProgramFolder(CurrentFolderContext()); }

std::string SettingsFilePath() { return (fs::path(ProgramFolder()) / (ExecutableBaseName() + ".ini")).string(); }

}  // namespace ostrel
