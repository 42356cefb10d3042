#include "ProgramFolder.h"

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

bool ensureFolder(const fs::path& p) {
  std::error_code ec;
  fs::create_directories(p, ec);
  return fs::is_directory(p, ec);
}

bool writable(const fs::path& p) { return ::access(p.c_str(), W_OK | X_OK) == 0; }

}  // namespace

std::string ExecutableFolder() { return executablePath().parent_path().string(); }

std::string ExecutableBaseName() { return executablePath().stem().string(); }

std::string ProgramFolder() {
  if (const char* home = std::getenv("OSTREL_HOME"); home && *home) {
    fs::path p(home);
    ensureFolder(p);
    return p.string();
  }
  fs::path exe = ExecutableFolder();
  if (writable(exe)) return exe.string();
  fs::path user;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    user = fs::path(xdg) / "ostrel";
  else if (const char* h = std::getenv("HOME"); h && *h)
    user = fs::path(h) / ".config" / "ostrel";
  if (!user.empty() && ensureFolder(user)) return user.string();
  return exe.string();
}

std::string SettingsFilePath() {
  return (fs::path(ProgramFolder()) / (ExecutableBaseName() + ".ini")).string();
}

}  // namespace ostrel
