// Which folder holds the settings file and files/log.txt: a build folder, an
// installed program with a usable home, and one whose home cannot be used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "ProgramFolder.h"
#include "tests/core/TempDir.h"

using ostrel::ChooseProgramFolder;
using ostrel::FolderContext;
namespace fs = std::filesystem;

namespace {

// A prefix laid out as an installation: <root>/usr/bin and <root>/usr/share/ostrel.
struct Installation {
  TempDir root;
  std::string bin = root / "usr/bin";
  Installation() {
    fs::create_directories(bin);
    fs::create_directories(root / "usr/share/ostrel");
  }
};

std::vector<std::string> entries(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(ProgramFolderOnLinux, BuildFolderKeepsTheExecutablesFolderAndCreatesNothing) {
  TempDir build, home;
  const FolderContext c{build.path(), "", "", home.path()};
  EXPECT_FALSE(ostrel::IsInstalledExecutable(build.path()));
  EXPECT_EQ(ChooseProgramFolder(c), build.path());
  EXPECT_TRUE(entries(build.path()).empty());  // no "files": a checkout behaves as before
  EXPECT_TRUE(entries(home.path()).empty());
}

TEST(ProgramFolderOnLinux, InstalledUsesThePerUserFolderAndMakesItsFilesFolder) {
  Installation inst;
  TempDir home, xdg;
  EXPECT_TRUE(ostrel::IsInstalledExecutable(inst.bin));
  const std::string chosen = ChooseProgramFolder({inst.bin, "", "", home.path()});
  EXPECT_EQ(chosen, home / ".config/ostrel");
  EXPECT_TRUE(fs::is_directory(chosen + "/files"));
  EXPECT_TRUE(entries(inst.bin).empty());  // nothing beside the executable
  // XDG_CONFIG_HOME wins over HOME.
  EXPECT_EQ(ChooseProgramFolder({inst.bin, "", xdg.path(), home.path()}), xdg / "ostrel");
  EXPECT_TRUE(fs::is_directory(xdg / "ostrel/files"));
  // Asked again, the existing folders are taken as they are.
  EXPECT_EQ(ChooseProgramFolder({inst.bin, "", "", home.path()}), chosen);
}

TEST(ProgramFolderOnLinux, UnusableHomeIsStillTheAnswerAndNothingIsWrittenElsewhere) {
  Installation inst;
  TempDir scratch;
  // A file standing where the home folder should be: the per-user folder
  // cannot be made, and the executable's folder is not used instead.
  std::ofstream(scratch / "home") << "x";
  const std::string chosen = ChooseProgramFolder({inst.bin, "", "", scratch / "home"});
  EXPECT_EQ(chosen, scratch / "home/.config/ostrel");
  EXPECT_FALSE(fs::exists(chosen));
  EXPECT_TRUE(entries(inst.bin).empty());
  EXPECT_EQ(entries(scratch.path()), std::vector<std::string>{"home"});
}

TEST(ProgramFolderOnLinux, UnwritableExecutableFolderCountsAsInstalled) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes any folder";
  TempDir root;
  const std::string bin = root / "opt";
  fs::create_directory(bin);
  fs::permissions(bin, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(ostrel::IsInstalledExecutable(bin));
  fs::permissions(bin, fs::perms::owner_all);
  EXPECT_FALSE(ostrel::IsInstalledExecutable(bin));
}

TEST(ProgramFolderOnLinux, OverrideWinsAndGetsNoFilesFolder) {
  Installation inst;
  TempDir over, home;
  const std::string named = over / "a/b";
  EXPECT_EQ(ChooseProgramFolder({inst.bin, named, "", home.path()}), named);
  EXPECT_TRUE(fs::is_directory(named));
  EXPECT_TRUE(entries(named).empty());
  EXPECT_TRUE(entries(home.path()).empty());
}

TEST(ProgramFolderOnLinux, UserManualOfAnInstallationAndOfABuildFolder) {
  Installation inst;
  EXPECT_EQ(ostrel::UserManualPath(inst.bin), inst.root / "usr/share/ostrel/manual/index.html");
  TempDir build;
  const fs::path manual = ostrel::UserManualPath(build.path());
  EXPECT_EQ(manual.filename(), "index.html");
  EXPECT_TRUE(fs::is_regular_file(manual)) << manual;  // the manual in the source tree
}
