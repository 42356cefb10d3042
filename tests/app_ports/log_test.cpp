// The custom command (checked by the bytes at the far end) and the log file.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextCursor>

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
  const int lines = Child<QPlainTextEdit>(w, "Memo_current")->document()->blockCount();
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
  EXPECT_EQ(Child<QPlainTextEdit>(w, "Memo_current")->document()->blockCount(), lines);
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
  const int lines = Child<QPlainTextEdit>(w, "Memo_current")->document()->blockCount();
  send("AT");
  EXPECT_EQ(far->read(2), "AT");
  send(QString::fromUtf8("Зона 1"));
  EXPECT_EQ(far->read(6), "\xC7\xEE\xED\xE0 1");
  send("0a");  // no hex check in this mode
  EXPECT_EQ(far->read(2), "0a");
  EXPECT_EQ(far->drain(), "");  // no line end added
  EXPECT_EQ(Child<QPlainTextEdit>(w, "Memo_current")->document()->blockCount(), lines);
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
  EXPECT_EQ(Child<QPlainTextEdit>(w, "Memo_current")->document()->blockCount(), 4);  // the empty start line and three
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
  EXPECT_EQ(Child<QPlainTextEdit>(w, "Memo_current")->document()->blockCount(), 5);

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
