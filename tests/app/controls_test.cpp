// The thin control classes: timer semantics, up-down, string grid, file dialogs.
#include <gtest/gtest.h>

#include <set>

#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include "Dialogs.h"
#include "FileDialogs.h"
#include "TStringGrid.h"
#include "TTimer.h"
#include "TUpDown.h"
#include "TimeText.h"

using namespace ostrel;

namespace {

// Processes events until the condition holds or the deadline passes.
template <class F>
bool waitFor(F cond, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QTest::qWait(1);
  }
  return true;
}

}  // namespace

TEST(TTimer, EnableTwiceAndSameIntervalKeepTheCountdown) {
  TTimer t("t", 10000, true);  // precise, so remainingTime() is exact
  EXPECT_FALSE(t.Enabled());
  EXPECT_FALSE(t.isCounting());
  t.setEnabled(true);
  ASSERT_TRUE(t.isCounting());
  QTest::qWait(30);
  const int left = t.remainingTime();
  EXPECT_LT(left, 10000 - 20);
  t.setEnabled(true);    // no restart
  t.setInterval(10000);  // same interval: no restart
  EXPECT_LE(t.remainingTime(), left);
  t.setInterval(20000);  // new interval: the countdown starts again
  EXPECT_GT(t.remainingTime(), 19000);
  EXPECT_EQ(t.Interval(), 20000);
  t.setEnabled(false);
  EXPECT_FALSE(t.isCounting());
  t.setInterval(30000);  // a disabled timer stays stopped
  EXPECT_FALSE(t.isCounting());
}

TEST(TTimer, TicksOnlyWhileEnabledWithAnInterval) {
  TTimer t("t", 5, true);
  int ticks = 0;
  QObject::connect(&t, &TTimer::Timer, [&] {
    if (++ticks == 3) t.setEnabled(false);  // a tick may stop its own timer
  });
  t.setEnabled(true);
  ASSERT_TRUE(waitFor([&] { return ticks >= 3; }));
  QTest::qWait(40);
  EXPECT_EQ(ticks, 3);

  t.setInterval(0);
  t.setEnabled(true);  // interval 0: never fires
  EXPECT_FALSE(t.isCounting());
  QTest::qWait(30);
  EXPECT_EQ(ticks, 3);
}

TEST(TUpDown, StepsStopAtLimitsAndWritePlainNumbers) {
  QLineEdit edit;
  TUpDown ud("ud", &edit, 50, 20000, 50, 50);
  EXPECT_EQ(edit.text(), "50");
  ud.stepDown();
  EXPECT_EQ(ud.Position(), 50);  // no wrap at the bottom
  ud.stepUp();
  ud.stepUp();
  EXPECT_EQ(edit.text(), "150");
  ud.setPosition(19990);
  ud.stepUp();
  EXPECT_EQ(edit.text(), "20000");  // no thousands separator, clamped
  ud.stepUp();
  EXPECT_EQ(ud.Position(), 20000);
  ud.setPosition(-7);
  EXPECT_EQ(ud.Position(), 50);
  // A number typed into the edit box is the position when within limits.
  edit.setText("700");
  EXPECT_EQ(ud.Position(), 700);
  ud.stepUp();
  EXPECT_EQ(edit.text(), "750");
  edit.setText("99999");
  EXPECT_EQ(ud.Position(), 750);
  // The arrow keys of the edit box step as well.
  QTest::keyClick(&edit, Qt::Key_Down);
  EXPECT_EQ(edit.text(), "700");
  ud.setEnabled(false);
  ud.stepUp();
  EXPECT_EQ(ud.Position(), 700);
}

TEST(TStringGrid, HeaderRowIsRowZeroAndCountsInRowCount) {
  TStringGrid g("g", 3, 2, 1, 1, {10, 20, 30});
  EXPECT_EQ(g.RowCount(), 2);
  EXPECT_EQ(g.rowCount(), 1);  // the header row is the view's header
  EXPECT_EQ(g.ColCount(), 3);
  EXPECT_EQ(g.columnWidth(2), 30);
  g.setCells(1, 0, "Head");
  g.setCells(1, 1, "data");
  EXPECT_EQ(g.horizontalHeaderItem(1)->text(), "Head");
  EXPECT_EQ(g.Cells(1, 0), "Head");
  EXPECT_EQ(g.Cells(1, 1), "data");
  EXPECT_EQ(g.item(0, 1)->flags() & Qt::ItemIsEditable, Qt::NoItemFlags);
  g.setCells(5, 1, "x");  // out of range: ignored
  g.setCells(0, 9, "x");
  EXPECT_EQ(g.Cells(5, 1), "");
  g.setRowCount(4);
  g.setCells(2, 3, "last");
  EXPECT_EQ(g.Cells(2, 3), "last");
  g.setRowCount(0);  // a fixed-row grid keeps its header and one row
  EXPECT_EQ(g.RowCount(), 2);
  EXPECT_EQ(g.Cells(1, 0), "Head");
  EXPECT_EQ(g.verticalHeader()->defaultSectionSize(), 18);

  TStringGrid plain("p", 2, 1, 0, 1, {});
  plain.setCells(0, 0, "ordinary");
  EXPECT_EQ(plain.item(0, 0)->text(), "ordinary");
  EXPECT_TRUE(plain.horizontalHeader()->isHidden());
}

TEST(TStringGrid, DrawHookSeesGridRowNumbers) {
  TStringGrid g("g", 2, 3, 1, 0, {40, 40});
  std::set<std::pair<int, int>> drawn;
  g.setDrawCell([&](int c, int r, const QRect& rect, QPainter* p, const QStyleOptionViewItem&) {
    EXPECT_TRUE(p);
    EXPECT_GT(rect.height(), 0);
    drawn.insert({c, r});
  });
  g.resize(200, 200);
  QPixmap pix(200, 200);
  g.render(&pix);
  EXPECT_TRUE(drawn.count({0, 1}) && drawn.count({1, 2}));
  // The header sections of a fixed-row grid reach the hook as row 0.
  EXPECT_TRUE(drawn.count({0, 0}) && drawn.count({1, 0}));
}

TEST(FileDialogs, DefaultExtensionAndScriptedAnswers) {
  EXPECT_EQ(withDefaultExt("/a/b/name", "csv"), "/a/b/name.csv");
  EXPECT_EQ(withDefaultExt("/a/b/name.txt", "csv"), "/a/b/name.txt");
  EXPECT_EQ(withDefaultExt("/a.d/name", "csv"), "/a.d/name.csv");
  EXPECT_EQ(withDefaultExt("/a/name", ""), "/a/name");

  ScriptedDialogs d;
  TSaveDialog save("SaveDialog1");
  save.InitialDir = "/data/";
  EXPECT_FALSE(save.Execute(d));  // nothing scripted: cancelled
  d.files.push_back("/data/devices");
  ASSERT_TRUE(save.Execute(d));
  EXPECT_EQ(save.FileName, "/data/devices.csv");
  const auto* shown = d.last(ScriptedDialogs::Kind::SaveFile);
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->dir, "/data/");
  EXPECT_EQ(shown->filter, "CSV files (*.csv)");
  EXPECT_EQ(shown->defaultSuffix, "csv");
  EXPECT_FALSE(save.OverwritePrompt);

  TOpenDialog open("OpenDialog1");
  EXPECT_EQ(open.Filter, "CSV (*.csv)");
  d.files.push_back("/data/x");
  ASSERT_TRUE(open.Execute(d));
  EXPECT_EQ(open.FileName, "/data/x");
  EXPECT_EQ(d.count(ScriptedDialogs::Kind::OpenFile), 1);
}

TEST(LongTimeText, TheUsersLongTimeWithoutAZone) {
  const QTime t(13, 4, 5);
  EXPECT_EQ(LongTimeText(t, QLocale::c()), "13:04:05");
  EXPECT_EQ(LongTimeText(t, QLocale(QLocale::English, QLocale::UnitedStates)), "1:04:05 PM");
  EXPECT_EQ(LongTimeText(t, QLocale(QLocale::Chinese, QLocale::China)), "13:04:05");  // zone in front
  // Quoted text stays, a "t" inside it included.
  EXPECT_EQ(TimeFormatWithoutZone("H:mm:ss 't' t"), "H:mm:ss 't'");
  EXPECT_EQ(TimeFormatWithoutZone("HH 'h' mm tttt"), "HH 'h' mm");
}
