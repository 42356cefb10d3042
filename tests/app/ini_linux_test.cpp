// The settings file's cases that need Linux: a symbolic link and permission bits.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "IniFile.h"

namespace fs = std::filesystem;

TEST(IniFileOnLinux, SaveFollowsALinkAndTheReplacedFileKeepsItsPermissions) {
  QTemporaryDir dir;
  const fs::path file = fs::path(dir.path().toStdString()) / "ostrel.ini";
  ostrel::IniFile ini;
  ini.writeString("Com port", "Name", "COM4");
  ASSERT_TRUE(ini.save(file.string()));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  const fs::path link = file.parent_path() / "link.ini";
  fs::create_symlink(file, link);
  ini.writeString("Com port", "Name", "COM5");
  ASSERT_TRUE(ini.save(link.string()));
  EXPECT_TRUE(fs::is_symlink(link));
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), "[Com port]\r\nName=COM5\r\n");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}
