// The custom command (checked by the bytes at the far end) and the log file.
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include "LogPane.h"
#include "SerialLinkBox.h"
#include "core/FileIo.h"
#include "port_fixture.h"
#include "tests/app/find_control.h"

using namespace ostrel;

namespace {

class CustomCommandTest : public PortFormTest {
 protected:
  std::unique_ptr<Pty> far;

  TForm1& connected() {
    far = std::make_unique<Pty>();
    link("COM1", far->slave);
    TForm1& w = create();
    panelLink("COM1");
    clickPanel();
    EXPECT_TRUE(w.panelLinkBox().isOpen());
    return w;
  }
  void send(const QString& text) {
    Child<QLineEdit>(form, "Edit_command")->setText(text);
    QTest::mouseClick(Child<QPushButton>(form, "Butt_command_send"), Qt::LeftButton);
  }
};

class LogFileTest : public FormTest {
 protected:
  std::string logPath() const { return dir.path().toStdString() + "/files/log.txt"; }
  void makeFilesFolder() { ASSERT_TRUE(QDir(dir.path()).mkdir("files")); }
  std::string saved() {
    form->logPane().BitBtn6Click();
    return ReadWholeFile(logPath()).value_or("<no file>");
  }
};

}  // namespace

TEST_F(CustomCommandTest, HexTextsSendTheirBytesInOrder) {
  TForm1& w = connected();
  ASSERT_TRUE(Child<QCheckBox>(w, "Check_hex")->isChecked());
  const int lines = logLines().size();
  struct Case {
    const char* text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"0A 1B FF", std::string("\x0A\x1B\xFF", 3)},
      {"1 2 3", std::string("\x01\x02\x03", 3)},
      {"ABC", "\xAB"},
      {"ABCDE 12", "\xAB\x12"},
      {" A", "\x0A"},
      {"1  2", std::string("\x01\x02", 2)},
      {"00", std::string(1, '\0')},
      {"7E 00 FE", std::string("\x7E\x00\xFE", 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    send(c.text);
    EXPECT_EQ(far->read(c.bytes.size()), c.bytes);
  }
  // Only blanks, or nothing at all: nothing sent, nothing logged.
  send("   ");
  send("");
  EXPECT_EQ(far->drain(), "");
  EXPECT_EQ(logLines().size(), lines);
}

TEST_F(CustomCommandTest, RefusedHexTextsSendNothingAndSayWhy) {
  TForm1& w = connected();
  struct Case {
    const char* text;
    const char* line;
  };
  const std::vector<Case> cases = {
      {"A", "Wrong custom hex command, 2 symbols at least..."},
      {"0a", "Wrong custom hex command, 0..F uppercase allowed"},
      {"12 G4", "Wrong custom hex command, 0..F uppercase allowed"},
      {"FF\t00", "Wrong custom hex command, 0..F uppercase allowed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    send(c.text);
    EXPECT_EQ(lastLog(), c.line);
  }
  EXPECT_EQ(far->drain(), "");
  (void)w;
}

TEST_F(CustomCommandTest, AsciiModeSendsTheTextsWindows1251Bytes) {
  TForm1& w = connected();
  Child<QCheckBox>(w, "Check_hex")->click();  // the checked box switches the mode
  ASSERT_TRUE(Child<QCheckBox>(w, "Check_ascii")->isChecked());
  ASSERT_FALSE(Child<QCheckBox>(w, "Check_hex")->isChecked());
  const int lines = logLines().size();
  send("AT");
  EXPECT_EQ(far->read(2), "AT");
  send(QString::fromUtf8("Зона 1"));
  EXPECT_EQ(far->read(6), "\xC7\xEE\xED\xE0 1");
  send("0a");  // no hex check in this mode
  EXPECT_EQ(far->read(2), "0a");
  EXPECT_EQ(far->drain(), "");  // no line end added
  EXPECT_EQ(logLines().size(), lines);
}

TEST_F(CustomCommandTest, SendWithoutAnOpenPortOnlyLogs) {
  far = std::make_unique<Pty>();
  link("COM1", far->slave);
  TForm1& w = create();
  for (const char* text : {"", "0A"}) {
    send(text);
    EXPECT_EQ(lastLog(), "Serial port is not opened");
  }
  Child<QCheckBox>(w, "Check_ascii")->click();
  send("AT");
  EXPECT_EQ(lastLog(), "Serial port is not opened");
  EXPECT_EQ(logLines().size(), 4);  // the empty start line and three
}

TEST_F(LogFileTest, SavedBytesFollowThePane) {
  TForm1& w = create();
  makeFilesFolder();
  // Right after start: the one empty line.
  EXPECT_EQ(saved(), "\r\n");
  w.AddLogLine("SENT: 02 03 ");
  w.AddLogLine(QString::fromUtf8("Пожар"));
  w.AddLogLine("reply error\r");  // a line ending in CR keeps it
  w.AddLogLine("");
  EXPECT_EQ(saved(), std::string("\r\nSENT: 02 03 \r\n\xCF\xEE\xE6\xE0\xF0\r\nreply error\r\r\n\r\n"));
  EXPECT_EQ(logLines().size(), 5);

  // After "Clear log": an empty file, and the next line is the first one.
  QTest::mouseClick(Child<QPushButton>(w, "BitBtn5"), Qt::LeftButton);
  EXPECT_EQ(saved(), "");
  w.AddLogLine("first");
  w.AddLogLine("second");
  EXPECT_EQ(saved(), "first\r\nsecond\r\n");

  // What the user typed is saved as shown.
  QTextCursor c(Child<QPlainTextEdit>(w, "Memo_current")->document());
  c.movePosition(QTextCursor::End);
  c.insertText(" edited");
  EXPECT_EQ(saved(), "first\r\nsecond edited\r\n");

  // The user deleting everything leaves no line either.
  Child<QPlainTextEdit>(w, "Memo_current")->selectAll();
  Child<QPlainTextEdit>(w, "Memo_current")->textCursor().removeSelectedText();
  EXPECT_EQ(saved(), "");
  w.AddLogLine("again");
  EXPECT_EQ(saved(), "again\r\n");
  EXPECT_EQ(messages(), 0);
}

TEST_F(LogFileTest, TheViewFollowsTheNewestLine) {
  TForm1& w = create();
  w.resize(900, 600);
  w.show();
  QScrollBar* sb = Child<QPlainTextEdit>(w, "Memo_current")->verticalScrollBar();
  for (int i = 0; i < 300; ++i) w.AddLogLine(QString("line %1").arg(i));
  QCoreApplication::processEvents();
  EXPECT_GT(sb->maximum(), 0);
  EXPECT_EQ(sb->value(), sb->maximum());
  sb->setValue(0);  // the user scrolls up; the next line brings the view back
  w.AddLogLine("newest");
  EXPECT_EQ(sb->value(), sb->maximum());
}

TEST_F(LogFileTest, AnUnwritableFileAddsTheErrorLineAndWritesNothing) {
  TForm1& w = create();
  // No "files" folder: it is not created.
  w.logPane().BitBtn6Click();
  EXPECT_EQ(Child<QPlainTextEdit>(w, "Memo_current")->toPlainText().split(QLatin1Char('\n')).last(),
            "Can not write file, no rights...");
  EXPECT_FALSE(QDir(dir.path() + "/files").exists());

  // A folder standing where the file should be.
  makeFilesFolder();
  ASSERT_TRUE(QDir(dir.path() + "/files").mkdir("log.txt"));
  w.AddLogLine("x");
  w.logPane().BitBtn6Click();
  EXPECT_EQ(Child<QPlainTextEdit>(w, "Memo_current")->toPlainText().split(QLatin1Char('\n')).last(),
            "Can not write file, no rights...");
  EXPECT_TRUE(QFileInfo(QString::fromStdString(logPath())).isDir());
}

namespace {

// The bytes the log file holds for these appended lines: each line as passed, then CR LF.
std::string fileOf(const std::vector<QString>& lines, bool startLine) {
  std::string bytes = startLine ? "\r\n" : "";
  for (const QString& line : lines) bytes += line.toStdString() + "\r\n";
  return bytes;
}

// Counts from 0: "<prefix>0", "<prefix>1", ...
std::vector<QString> numbered(const QString& prefix, int count) {
  std::vector<QString> lines;
  for (int i = 0; i < count; ++i) lines.push_back(prefix + QString::number(i));
  return lines;
}

}  // namespace

TEST_F(LogFileTest, LongSessionsSaveEveryLineAsAppended) {
  struct Case {
    const char* name;
    std::vector<QString> lines;
  };
  std::vector<Case> cases = {{"short lines over several blocks", numbered("SENT: 02 ", 40)},
                             {"empty lines", std::vector<QString>(35, QString())},
                             {"lines ending in CRs among others", numbered("line ", 40)},
                             {"long and short lines", {}}};
  for (int at : {0, 14, 15, 16, 39}) cases[2].lines[at] += at % 2 ? "\r\r" : "\r";
  for (int i = 0; i < 12; ++i) cases[3].lines.push_back(i % 3 ? QString("x%1").arg(i) : QString(700, QChar('A' + i)));
  TForm1& w = create();
  makeFilesFolder();
  for (bool cleared : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << (cleared ? ", after Clear log" : ", after start"));
      form.reset();
      create();
      TForm1& w = *form;
      if (cleared) w.logPane().ClearLog();
      for (const QString& line : c.lines) w.AddLogLine(line);
      EXPECT_EQ(saved(), fileOf(c.lines, !cleared));
      QStringList shown;
      if (!cleared) shown << QString();
      for (QString line : c.lines) shown << line.remove(QLatin1Char('\r'));
      EXPECT_EQ(logLines(), shown);
    }
  }
  (void)w;
}

TEST_F(LogFileTest, WhatTheUserTypesAmongAppendedLinesIsSavedAsShown) {
  TForm1& w = create();
  makeFilesFolder();
  auto* memo = Child<QPlainTextEdit>(w, "Memo_current");
  for (const QString& line : numbered("l", 10)) w.AddLogLine(line);
  w.AddLogLine("err\r");
  // Puts the cursor at the end of shown line n (0 is the empty start line).
  auto endOfLine = [memo](int n) {
    QTextCursor c(memo->document());
    c.movePosition(QTextCursor::Down, QTextCursor::MoveAnchor, n);
    c.movePosition(QTextCursor::EndOfLine);
    memo->setTextCursor(c);
  };
  endOfLine(11);
  QTest::keyClicks(memo, "!");
  endOfLine(9);
  QTest::keyClick(memo, Qt::Key_Delete);  // joins l8 and l9
  endOfLine(8);
  QTest::keyClick(memo, Qt::Key_Return, Qt::ShiftModifier);  // a line break within the block
  QTest::keyClicks(memo, "soft");
  endOfLine(6);
  QTest::keyClick(memo, Qt::Key_Return);
  QTest::keyClicks(memo, "new");
  endOfLine(4);
  QTest::keyClicks(memo, " ok");
  EXPECT_EQ(saved(), "\r\nl0\r\nl1\r\nl2\r\nl3 ok\r\nl4\r\nl5\r\nnew\r\nl6\r\nl7\r\nsoft\r\nl8l9\r\nerr!\r\r\n");
  memo->undo();  // the last typing goes
  EXPECT_EQ(logLines().at(4), "l3");
  w.AddLogLine("after");
  EXPECT_EQ(logLines().last(), "after");
  EXPECT_EQ(saved(), "\r\nl0\r\nl1\r\nl2\r\nl3\r\nl4\r\nl5\r\nnew\r\nl6\r\nl7\r\nsoft\r\nl8l9\r\nerr!\r\r\nafter\r\n");
}

TEST_F(LogFileTest, SelectingAndCopyingGoLineByLine) {
  TForm1& w = create();
  w.resize(900, 600);
  w.show();
  auto* memo = Child<QPlainTextEdit>(w, "Memo_current");
  for (const QString& line : numbered("line ", 6)) w.AddLogLine(line);
  QCoreApplication::processEvents();
  QTextCursor c(memo->document());
  c.movePosition(QTextCursor::Down, QTextCursor::MoveAnchor, 3);  // "line 2"
  const QPoint onLine = memo->cursorRect(c).center() + QPoint(4, 0);
  QTest::mouseDClick(memo->viewport(), Qt::LeftButton, {}, onLine);
  QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, onLine);
  EXPECT_EQ(memo->textCursor().selection().toPlainText(), "line 2\n");

  c.movePosition(QTextCursor::Down, QTextCursor::KeepAnchor, 2);
  c.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
  memo->setTextCursor(c);
  memo->copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "line 2\nline 3\nline 4");
}
