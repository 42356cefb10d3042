// The window's Modbus master over pseudo-terminals: against a real Modbus RTU
// slave (Debian's pymodbus, joined to the window's COM2 by socat) and against
// the simulated panel, whose registers show every colour of the register table.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "../app/form_fixture.h"
#include "../modbus/peer.h"
#include "ModbusPage.h"
#include "SerialLinkBox.h"
#include "tests/app/find_control.h"

namespace {

using ostrel::modbus::testing::PythonHelper;
using Clock = std::chrono::steady_clock;

// socat joining two new pseudo-terminals, each reachable through a link.
class PtyPair {
 public:
  ~PtyPair() { Stop(); }
  bool Start(const QString& a, const QString& b) {
    const std::string ea = "pty,raw,echo=0,link=" + a.toStdString();
    const std::string eb = "pty,raw,echo=0,link=" + b.toStdString();
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      execl("/usr/bin/socat", "socat", ea.c_str(), eb.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return QTest::qWaitFor([&] { return QFileInfo::exists(a) && QFileInfo::exists(b); }, 5000);
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

QString hex2(int v) { return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper(); }

class ModbusWindow : public FormTest {
 protected:
  void SetUp() override {
    mapDir = dir.path() + "/devices";
    ASSERT_TRUE(QDir().mkpath(mapDir));
    qputenv("OSTREL_DEVICE_DIR", mapDir.toLocal8Bit());
    dump = (dir.path() + "/holding.json").toStdString();
  }
  void TearDown() override {
    form.reset();
    peer.Stop();
    pair.Stop();
  }

  // The pymodbus slave on one end of a socat pair, the window's COM2 on the other.
  void startSlave() {
    ASSERT_TRUE(pair.Start(mapDir + "/COM2", mapDir + "/slave")) << "socat did not start";
    ASSERT_TRUE(peer.Start("tests/e2e/modbus_slave.py",
                           {"--port", (mapDir + "/slave").toStdString(), "--input-count", "200", "--dump", dump},
                           "READY\n"))
        << "the Modbus slave did not start: " << peer.Output();
  }
  void startSimulator() {
    ASSERT_TRUE(peer.Start("tools/qvsim/modbus.py", {"--link", (mapDir + "/COM2").toStdString()}, "\n"))
        << peer.Output();
  }
  void connectWindow(int timeoutMs) {
    create();
    Child<QComboBox>(form, "Combo_com2_name")->setEditText("COM2");
    form->modbusPage().Butt_open_port2Click();
    ASSERT_TRUE(form->modbusLinkBox().isOpen())
        << Child<QPlainTextEdit>(form, "Memo_current")->toPlainText().toStdString();
    Child<ostrel::TUpDown>(form, "UD_modbusTimeout")->setPosition(timeoutMs);
  }

  QStringList log() const { return Child<QPlainTextEdit>(form, "Memo_current")->toPlainText().split('\n'); }
  int linesStarting(const QString& prefix) const {
    int n = 0;
    for (const QString& l : log()) n += l.startsWith(prefix);
    return n;
  }
  bool logHas(const QString& text) const {
    return Child<QPlainTextEdit>(form, "Memo_current")->toPlainText().contains(text);
  }
  bool waitLines(const QString& prefix, int count, int ms) {
    return QTest::qWaitFor([&] { return linesStarting(prefix) >= count; }, ms);
  }
  void readOut(const QString& start, const QString& count) {
    const int before = linesStarting("QVMD:");
    Child<QLineEdit>(form, "EditInputAddress")->setText(start);
    Child<QLineEdit>(form, "EditInputCount")->setText(count);
    form->modbusPage().BitBtn3Click();
    ASSERT_TRUE(waitLines("QVMD:", before + 1, 5000))
        << Child<QPlainTextEdit>(form, "Memo_current")->toPlainText().toStdString();
  }

  // The slave's holding registers once `done` holds for them, or the last dump.
  std::map<int, int> holdingWhen(const std::function<bool(std::map<int, int>&)>& done) {
    std::map<int, int> regs;
    // A time-out is left to the caller, whose check then shows what the dump held.
    static_cast<void>(QTest::qWaitFor(
        [&] {
          regs.clear();
          std::ifstream f(dump);
          std::stringstream ss;
          ss << f.rdbuf();
          std::string s = ss.str();
          for (char& c : s)
            if (c == '{' || c == '}' || c == '"' || c == ':' || c == ',') c = ' ';
          std::istringstream in(s);
          int k, v;
          while (in >> k >> v) regs[k] = v;
          return done(regs);
        },
        5000));
    return regs;
  }
  std::map<int, int> holdingOnce(int reg, int value) {
    return holdingWhen([&](std::map<int, int>& r) { return r.count(reg) && r[reg] == value; });
  }

  ostrel::TStringGrid* grid() { return Child<ostrel::TStringGrid>(form, "gridInputRegisters"); }

  QString mapDir;
  std::string dump;
  PtyPair pair;
  PythonHelper peer;
};

TEST_F(ModbusWindow, ReadRegistersFillsOneRowPerSlaveRegister) {
  startSlave();
  connectWindow(300);
  readOut("1", "125");
  EXPECT_TRUE(log().contains("SENT:01 04 00 01 00 7D 61 EB "));
  ASSERT_EQ(grid()->RowCount(), 127) << Child<QPlainTextEdit>(form, "Memo_current")
                                            ->toPlainText()
                                            .toStdString();  // header, 125 registers, the spare row
  // The slave's register n holds (n & 0xFF) << 8 | (3n + 1) & 0xFF.
  for (int n : {1, 64, 125}) {
    const int row = n;
    EXPECT_EQ(grid()->Cells(0, row), QString::number(n));
    EXPECT_EQ(grid()->Cells(1, row), hex2(n));
    EXPECT_EQ(grid()->Cells(3, row), hex2(3 * n + 1));
    EXPECT_FALSE(grid()->Cells(5, row).isEmpty());
  }
  EXPECT_EQ(grid()->Cells(4, 1), "/Fault");     // 0x04
  EXPECT_EQ(grid()->Cells(2, 64), "/Alarm");    // 0x40
  EXPECT_EQ(grid()->Cells(4, 64), "ON/Alarm");  // 0xC1
  for (int c = 0; c < 6; ++c) EXPECT_TRUE(grid()->Cells(c, 126).isEmpty());

  // A second read-out without "Clear grid" appends below the first.
  readOut("10", "2");
  ASSERT_EQ(grid()->RowCount(), 129);
  EXPECT_EQ(grid()->Cells(0, 126), "10");
  EXPECT_EQ(grid()->Cells(0, 127), "11");
  form->modbusPage().BitBtn4Click();
  EXPECT_EQ(grid()->RowCount(), 2);
  EXPECT_TRUE(grid()->Cells(0, 1).isEmpty());
  EXPECT_EQ(grid()->Cells(0, 0), "Addr. modbus");
}

TEST_F(ModbusWindow, MissingRegistersAndBadNumbersAreReported) {
  startSlave();
  connectWindow(300);
  readOut("500", "10");
  EXPECT_TRUE(logHas("Error - ILLEGAL DATA ADDRESS"));
  EXPECT_EQ(grid()->RowCount(), 2);

  // A start that is not a number (pasted text) reaches the general error
  // report: nothing is sent and no wait starts.
  const int sent = linesStarting("SENT:");
  Child<QLineEdit>(form, "EditInputAddress")->setText("1x");
  QTimer::singleShot(0, form.get(), [this] { form->modbusPage().BitBtn3Click(); });
  ASSERT_TRUE(QTest::qWaitFor([&] { return messages() == 1; }, 2000));
  EXPECT_TRUE(dialogs.last(ostrel::ScriptedDialogs::Kind::Message)->text.contains("1x"));
  EXPECT_EQ(linesStarting("SENT:"), sent);
  EXPECT_FALSE(Child<ostrel::TTimer>(form, "Timer_modbus")->Enabled());
}

TEST_F(ModbusWindow, CommandsReachTheSlavesHoldingRegisters) {
  startSlave();
  connectWindow(300);

  // The command chosen decides which boxes can be used; the loop boxes exclude each other.
  Child<QComboBox>(form, "ComboCommand")->setEditText("General write");
  EXPECT_TRUE(Child<QCheckBox>(form, "CheckBeeper")->isEnabled());
  EXPECT_FALSE(Child<QCheckBox>(form, "checkLoop1")->isEnabled());
  EXPECT_FALSE(Child<ostrel::TUpDown>(form, "UD_zoneDevice")->isEnabled());
  Child<QComboBox>(form, "ComboCommand")->setEditText("Zone control");
  EXPECT_FALSE(Child<QCheckBox>(form, "CheckSiren")->isEnabled());
  EXPECT_TRUE(Child<QCheckBox>(form, "checkLoop2")->isEnabled());
  EXPECT_TRUE(Child<ostrel::TUpDown>(form, "UD_zoneDevice")->isEnabled());
  Child<QCheckBox>(form, "checkLoop2")->setChecked(true);
  Child<QCheckBox>(form, "checkLoop1")->setChecked(true);
  EXPECT_FALSE(Child<QCheckBox>(form, "checkLoop2")->isChecked());
  Child<ostrel::TUpDown>(form, "UD_panelNumber")->setPosition(3);
  Child<ostrel::TUpDown>(form, "UD_zoneDevice")->setPosition(17);
  form->modbusPage().commands().BitBtn9Click();
  EXPECT_EQ(holdingOnce(1, 0x3111)[1], 0x3111);
  EXPECT_TRUE(log().contains("SENT:01 06 00 01 31 11 0D 96 "));

  const QDateTime before = QDateTime::currentDateTime();
  form->modbusPage().commands().BitBtn10Click();
  auto regs = holdingWhen([](std::map<int, int>& r) { return r[5] != 0; });
  const QDateTime after = QDateTime::currentDateTime();
  const int r2 = regs[2], r3 = regs[3], r4 = regs[4], r5 = regs[5];
  EXPECT_EQ(r5 & 0xFF, 0);
  EXPECT_EQ(r5 >> 8, before.date().year() & 0xFF);
  const QDate date(before.date().year(), r4 & 0xFF, r4 >> 8);
  const QDateTime sent(date, QTime(r3 >> 8, r2 & 0xFF, r2 >> 8));
  EXPECT_GE(sent.secsTo(after), 0);
  EXPECT_LE(before.secsTo(sent), 1) << sent.toString().toStdString();
  EXPECT_EQ(r3 & 0xFF, date.dayOfWeek());  // Monday 1 .. Sunday 7

  Child<QLineEdit>(form, "Edit_address")->setText("7");
  form->modbusPage().BitBtn12Click();
  EXPECT_EQ(holdingOnce(0x8011, 7)[0x8011], 7);

  Child<QComboBox>(form, "Combo_baud")->setEditText("19200");
  Child<QComboBox>(form, "Combo_parity")->setEditText("Even");
  form->modbusPage().commands().BitBtn11Click();  // "Modbus port" is checked at start
  EXPECT_EQ(holdingOnce(0x8012, 0x51)[0x8012], 0x51);
  Child<QCheckBox>(form, "checkFPbaud")->setChecked(true);
  EXPECT_FALSE(Child<QCheckBox>(form, "checkModbusPort")->isChecked());
  Child<QComboBox>(form, "Combo_baud")->setEditText("57600");
  Child<QComboBox>(form, "Combo_parity")->setEditText("None");
  form->modbusPage().commands().BitBtn11Click();
  EXPECT_EQ(holdingOnce(0x8013, 0x72)[0x8013], 0x72);
  EXPECT_EQ(holdingOnce(0x8012, 0x51)[0x8012], 0x51);  // untouched

  // Write replies are logged, never decoded into the table.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Child<ostrel::TTimer>(form, "Timer_modbus")->Enabled(); }, 3000));
  EXPECT_EQ(grid()->RowCount(), 2);
}

TEST_F(ModbusWindow, AutomaticReadoutShowsOnlyTheLatestReply) {
  startSlave();
  connectWindow(600);
  Child<QLineEdit>(form, "EditInputCount")->setText("10");
  Child<QCheckBox>(form, "CheckBox1")->setChecked(true);
  EXPECT_TRUE(Child<ostrel::TTimer>(form, "Timer_auto")->Enabled());
  EXPECT_EQ(Child<ostrel::TTimer>(form, "Timer_auto")->Interval(), 1000);
  ASSERT_TRUE(waitLines("QVMD:", 1, 4000));
  EXPECT_EQ(grid()->RowCount(), 12);
  ASSERT_TRUE(waitLines("QVMD:", 2, 3000));
  EXPECT_EQ(grid()->RowCount(), 12);  // cleared and refilled, not appended
  EXPECT_EQ(grid()->Cells(0, 10), "10");
  Child<QCheckBox>(form, "CheckBox1")->setChecked(false);
  EXPECT_FALSE(Child<ostrel::TTimer>(form, "Timer_auto")->Enabled());
}

TEST_F(ModbusWindow, LaterAutomaticRequestsDoNotRestartALongWait) {
  startSlave();
  connectWindow(20000);
  Child<QLineEdit>(form, "EditInputCount")->setText("10");
  Child<QCheckBox>(form, "CheckBox1")->setChecked(true);
  ASSERT_TRUE(waitLines("SENT:", 1, 3000));
  const int first = Child<ostrel::TTimer>(form, "Timer_modbus")->remainingTime();
  ASSERT_TRUE(waitLines("SENT:", 3, 4000));
  const int later = Child<ostrel::TTimer>(form, "Timer_modbus")->remainingTime();
  EXPECT_GT(later, 0);
  EXPECT_LT(later, first - 1500) << "the wait was restarted";
  EXPECT_EQ(linesStarting("QVMD:"), 0);
  Child<QCheckBox>(form, "CheckBox1")->setChecked(false);

  // The end of that wait decodes what the latest request brought.
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid()->RowCount() == 2; }, 100));
  QTest::qWait(200);  // the slave's reply to the last request arrives
  form->modbusPage().Timer_modbusTimer();
  EXPECT_FALSE(Child<ostrel::TTimer>(form, "Timer_modbus")->Enabled());
  EXPECT_EQ(linesStarting("QVMD:"), 1);
  EXPECT_EQ(grid()->RowCount(), 12);
}

// Paints one cell through the window's draw hook onto a 150 x 40 image.
QImage drawCell(ostrel::TForm1& w, int col, int row) {
  QImage img(150, 40, QImage::Format_RGB32);
  img.fill(Qt::cyan);
  QPainter p(&img);
  w.modbusPage().gridInputRegistersDrawCell(col, row, img.rect(), &p, QStyleOptionViewItem());
  return img;
}

// The bounding box of the pixels of one colour.
QRect pixelsOf(const QImage& img, const QColor& c) {
  QRect box;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) == c) box |= QRect(x, y, 1, 1);
  return box;
}

// The bounding box of the pixels of any other colour.
QRect notOf(const QImage& img, const QColor& c) {
  QRect box;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelColor(x, y) != c) box |= QRect(x, y, 1, 1);
  return box;
}

TEST_F(ModbusWindow, RegisterTableIsColouredByItsDecodeWords) {
  startSimulator();
  connectWindow(300);
  readOut("1", "125");
  readOut("1751", "5");  // the fire words
  ASSERT_EQ(grid()->RowCount(), 132);
  const QColor face = grid()->palette().color(QPalette::Button);
  const QColor highlight = grid()->palette().color(QPalette::Highlight);

  struct Case {
    int col, row;
    const char* text;
    QColor fg, bg;
  };
  const Case cases[] = {
      {2, 8, "ON/Alarm", Qt::black, QColor(255, 255, 0)},
      {4, 8, "", Qt::black, Qt::white},
      {2, 1, "/AO", Qt::black, QColor(255, 255, 0)},
      {2, 2, "/No Link", Qt::white, Qt::black},
      {2, 3, "/Disable", Qt::black, QColor(128, 128, 128)},
      {4, 3, "/Fault", Qt::white, highlight},
      {2, 7, "ON/Alarm/AO/No Link/Disable/Fault", Qt::black, QColor(255, 255, 0)},
      {2, 126, "/Fire2", Qt::white, QColor(128, 0, 0)},
      {2, 127, "/Fire1/Fire2", Qt::white, QColor(128, 0, 0)},
      {2, 130, "/Fire1", Qt::white, QColor(255, 0, 255)},
      {0, 0, "Addr. modbus", Qt::black, face},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.text);
    ASSERT_EQ(grid()->Cells(k.col, k.row), QString::fromLatin1(k.text));
    const QImage img = drawCell(*form, k.col, k.row);
    EXPECT_EQ(img.pixelColor(149, 39), k.bg);
    EXPECT_EQ(pixelsOf(img, Qt::cyan), QRect()) << "the whole cell is filled";
    if (*k.text) {
      EXPECT_FALSE(pixelsOf(img, k.fg).isEmpty());
      // Drawn from the very top-left corner, not inset or centred.
      const QRect ink = notOf(img, k.bg);
      EXPECT_LE(ink.left(), 2);
      EXPECT_LT(ink.bottom(), 18);
    }
  }

  // The window's own painting: the header sections and a data cell.
  form->resize(1000, 800);
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  QHeaderView* header = grid()->horizontalHeader();
  const QImage h = header->grab().toImage();
  for (int c = 0; c < 6; ++c) {
    const int x = header->sectionViewportPosition(c) + header->sectionSize(c) - 4;
    EXPECT_EQ(h.pixelColor(x, h.height() - 4), face) << "header column " << c;
  }
  const QRect firstHeader(0, 0, header->sectionSize(0), h.height());
  EXPECT_FALSE(pixelsOf(h.copy(firstHeader), Qt::black).isEmpty());
  grid()->scrollToTop();
  QApplication::processEvents();
  const QImage v = grid()->viewport()->grab().toImage();
  const QRect r8 = grid()->visualRect(grid()->model()->index(7, 2));  // row 8, "ON/Alarm"
  ASSERT_TRUE(v.rect().contains(r8.bottomRight()));
  EXPECT_EQ(v.pixelColor(r8.right() - 3, r8.bottom() - 3), QColor(255, 255, 0));
  const QRect r2 = grid()->visualRect(grid()->model()->index(1, 2));  // row 2, "/No Link"
  EXPECT_EQ(v.pixelColor(r2.right() - 3, r2.bottom() - 3), QColor(0, 0, 0));
}

}  // namespace
