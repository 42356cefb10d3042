// The Help menu.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtGlobal>

#include "OstrelVersion.h"
#include "ProgramFolder.h"
#include "core/FileIo.h"
#include "form_fixture.h"
#include "tests/app/find_control.h"

using namespace ostrel;
using Kind = ScriptedDialogs::Kind;

TEST_F(FormTest, AboutNamesTheProgramItsVersionQtAndTheLicence) {
  TForm1& f = create();
  const QString log = Child<QPlainTextEdit>(f, "Memo_current")->toPlainText();
  Child<QAction>(f, "About1")->trigger();
  ASSERT_EQ(messages(), 1);
  const auto* m = dialogs.last(Kind::Message);
  EXPECT_EQ(m->caption, "About Ostrel");
  EXPECT_TRUE(m->text.startsWith(QStringLiteral("Ostrel " OSTREL_VERSION "\n"))) << m->text.toStdString();
  EXPECT_TRUE(m->text.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
  EXPECT_TRUE(m->text.contains(QStringLiteral("Licence: " OSTREL_LICENSE)));
  EXPECT_EQ(m->icon, QMessageBox::Information);
  EXPECT_EQ(Child<QPlainTextEdit>(f, "Memo_current")->toPlainText(), log);  // nothing else happens
}

TEST_F(FormTest, UserManualGoesToTheViewerOrSaysWhereItIs) {
  TForm1& f = create();
  ASSERT_TRUE(QFileInfo(f.userManualPath()).isFile()) << f.userManualPath().toStdString();
  Child<QAction>(f, "Usermanual1")->trigger();
  ASSERT_EQ(dialogs.count(Kind::Document), 1);
  EXPECT_EQ(dialogs.last(Kind::Document)->text, f.userManualPath());
  EXPECT_EQ(messages(), 0);

  dialogs.viewerAvailable = false;
  Child<QAction>(f, "Usermanual1")->trigger();
  ASSERT_EQ(messages(), 1);
  EXPECT_TRUE(dialogs.last(Kind::Message)->text.endsWith(f.userManualPath()));

  f.setUserManualPath(dir.path() + "/missing/index.html");
  Child<QAction>(f, "Usermanual1")->trigger();
  EXPECT_EQ(dialogs.count(Kind::Document), 2);  // a missing manual is not handed on
  ASSERT_EQ(messages(), 2);
  EXPECT_TRUE(dialogs.last(Kind::Message)->text.contains("not installed"));
  EXPECT_TRUE(dialogs.last(Kind::Message)->text.endsWith(dir.path() + "/missing/index.html"));
}
