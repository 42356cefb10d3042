// The settings file's case that needs Linux: a FIFO where the file should be.
#include <sys/stat.h>

#include <QFile>

#include "settings_expect.h"

using namespace ostrel;
using namespace ostrel::testing;
using SettingsOnLinux = FormTest;

TEST_F(SettingsOnLinux, ASettingsFileThatIsNoRegularFileGivesDefaultsAndIsLeftAlone) {
  // A FIFO without a writer: the window still comes up, with the defaults.
  ASSERT_EQ(::mkfifo(QFile::encodeName(iniPath()).constData(), 0600), 0);
  TForm1& f = create();
  expectDefaults(f, dir.path());
  f.show();
  f.close();
  ASSERT_EQ(messages(), 1);
  EXPECT_EQ(dialogs.last(ScriptedDialogs::Kind::Message)->caption, "Saving settings");
  struct stat info {};
  ASSERT_EQ(::lstat(QFile::encodeName(iniPath()).constData(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));  // not replaced by a file
}
