// The Help menu, and the window over an installed program's per-user folder.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtGlobal>

#include "OstrelVersion.h"
#include "ProgramFolder.h"
#include "app/core/FileIo.h"
#include "form_fixture.h"

using namespace ostrel;
using Kind = ScriptedDialogs::Kind;

TEST_F(FormTest, AboutNamesTheProgramItsVersionQtAndTheLicence) {
  TForm1& f = create();
  const QString log = f.Memo_current->toPlainText();
  f.About1->trigger();
  ASSERT_EQ(messages(), 1);
  const auto* m = dialogs.last(Kind::Message);
  EXPECT_EQ(m->caption, "About Ostrel");
  EXPECT_TRUE(m->text.startsWith(QStringLiteral("Ostrel " OSTREL_VERSION "\n"))) << m->text.toStdString();
  EXPECT_TRUE(m->text.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
  EXPECT_TRUE(m->text.contains(QStringLiteral("Licence: " OSTREL_LICENSE)));
  EXPECT_EQ(m->icon, QMessageBox::Information);
  EXPECT_EQ(f.Memo_current->toPlainText(), log);  // nothing else happens
}

TEST_F(FormTest, UserManualGoesToTheViewerOrSaysWhereItIs) {
  TForm1& f = create();
  ASSERT_TRUE(QFileInfo(f.userManualPath()).isFile()) << f.userManualPath().toStdString();
  f.Usermanual1->trigger();
  ASSERT_EQ(dialogs.count(Kind::Document), 1);
  EXPECT_EQ(dialogs.last(Kind::Document)->text, f.userManualPath());
  EXPECT_EQ(messages(), 0);

  dialogs.viewerAvailable = false;
  f.Usermanual1->trigger();
  ASSERT_EQ(messages(), 1);
  EXPECT_TRUE(dialogs.last(Kind::Message)->text.endsWith(f.userManualPath()));

  f.setUserManualPath(dir.path() + "/missing/index.html");
  f.Usermanual1->trigger();
  EXPECT_EQ(dialogs.count(Kind::Document), 2);  // a missing manual is not handed on
  ASSERT_EQ(messages(), 2);
  EXPECT_TRUE(dialogs.last(Kind::Message)->text.contains("not installed"));
  EXPECT_TRUE(dialogs.last(Kind::Message)->text.endsWith(dir.path() + "/missing/index.html"));
}

namespace {

// The window over the folder that an installed executable chooses for the
// home folder given.
class InstalledFormTest : public FormTest {
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
    const QStringList lines = form->Memo_current->toPlainText().split('\n');
    return lines.isEmpty() ? QString() : lines.last();
  }
};

}  // namespace

TEST_F(InstalledFormTest, SaveLogAndSettingsLandInThePerUserFolder) {
  TForm1& f = createInstalled(dir.path() + "/home");
  EXPECT_EQ(f.programFolder(), dir.path() + "/home/.config/ostrel");
  EXPECT_EQ(f.dataDir, folder + "/");  // the CSV dialogs start there too
  f.AddLogLine("hello");
  f.BitBtn6->click();
  EXPECT_EQ(ReadWholeFile((folder + "/files/log.txt").toStdString()).value_or("<none>"), "\r\nhello\r\n");
  f.close();
  EXPECT_TRUE(QFileInfo(folder + "/ostrel.ini").isFile());
  EXPECT_EQ(messages(), 0);
}

TEST_F(InstalledFormTest, UnusableHomeStartsWithDefaultsAndSaysSoWithoutWritingElsewhere) {
  QFile blocker(dir.path() + "/home");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the home folder should be
  blocker.close();
  TForm1& f = createInstalled(dir.path() + "/home");
  EXPECT_EQ(f.Combo_com_name->currentText(), "COM1");
  EXPECT_EQ(f.UD_modbusTimeout->Position(), 600);
  f.BitBtn6->click();
  EXPECT_EQ(lastLine(), "Can not write file, no rights...");
  f.close();
  ASSERT_EQ(messages(), 1);
  EXPECT_EQ(dialogs.last(Kind::Message)->caption, "Saving settings");
  EXPECT_TRUE(QDir(dir.path() + "/usr/bin").isEmpty());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList({"home", "usr"}));
}
