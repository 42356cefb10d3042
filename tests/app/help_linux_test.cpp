// The window over the per-user folder that an installed program on Linux chooses.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>

#include "CsvFiles.h"
#include "ProgramFolder.h"
#include "core/FileIo.h"
#include "form_fixture.h"
#include "tests/app/find_control.h"

using namespace ostrel;
using Kind = ScriptedDialogs::Kind;

namespace {

// The window over the folder that an installed executable chooses for the
// home folder given.
class InstalledOnLinux : public FormTest {
 protected:
  QString folder;
  TForm1& createInstalled(const QString& home) {
    QDir(dir.path()).mkpath("usr/bin");
    QDir(dir.path()).mkpath("usr/share/ostrel");
    const FolderContext c{(dir.path() + "/usr/bin").toStdString(), "", "", home.toStdString()};
    folder = QString::fromStdString(ChooseProgramFolder(c));
    qputenv("OSTREL_HOME", folder.toLocal8Bit());
    form = std::make_unique<TForm1>(&dialogs, folder + "/ostrel.ini");
    return *form;
  }
  QString lastLine() const {
    const QStringList lines = Child<QPlainTextEdit>(form, "Memo_current")->toPlainText().split('\n');
    return lines.isEmpty() ? QString() : lines.last();
  }
};

}  // namespace

TEST_F(InstalledOnLinux, SaveLogAndSettingsLandInThePerUserFolder) {
  TForm1& f = createInstalled(dir.path() + "/home");
  EXPECT_EQ(f.programFolder(), dir.path() + "/home/.config/ostrel");
  EXPECT_EQ(f.csvFiles().dataDir(), folder + "/");  // the CSV dialogs start there too
  f.AddLogLine("hello");
  Child<QPushButton>(f, "BitBtn6")->click();
  EXPECT_EQ(ReadWholeFile((folder + "/files/log.txt").toStdString()).value_or("<none>"), "\r\nhello\r\n");
  f.close();
  EXPECT_TRUE(QFileInfo(folder + "/ostrel.ini").isFile());
  EXPECT_EQ(messages(), 0);
}

TEST_F(InstalledOnLinux, UnusableHomeStartsWithDefaultsAndSaysSoWithoutWritingElsewhere) {
  QFile blocker(dir.path() + "/home");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the home folder should be
  blocker.close();
  TForm1& f = createInstalled(dir.path() + "/home");
  EXPECT_EQ(Child<QComboBox>(f, "Combo_com_name")->currentText(), "COM1");
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->Position(), 600);
  Child<QPushButton>(f, "BitBtn6")->click();
  EXPECT_EQ(lastLine(), "Can not write file, no rights...");
  f.close();
  ASSERT_EQ(messages(), 1);
  EXPECT_EQ(dialogs.last(Kind::Message)->caption, "Saving settings");
  EXPECT_TRUE(QDir(dir.path() + "/usr/bin").isEmpty());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList({"home", "usr"}));
}
