// The main window's control tree and its own behaviours.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>

#include "LogPane.h"
#include "ModbusPage.h"
#include "SerialLinkBox.h"
#include "TypedInput.h"
#include "form_fixture.h"
#include "modbus/readout.h"
#include "serial/VaComm.h"
#include "tests/app/find_control.h"

using namespace ostrel;

namespace {
QStringList items(QComboBox* c) {
  QStringList l;
  for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
  return l;
}
int maxLength(QObject* o) { return o->property("MaxLength").toInt(); }
}  // namespace

TEST_F(FormTest, WindowPagesAndCaptions) {
  TForm1& f = create();
  EXPECT_EQ(f.windowTitle(), "Quorvel test configuration and read utility");
  EXPECT_GE(f.width(), 881);
  EXPECT_GE(f.height(), 665);
  auto* pages = find<QTabWidget>("PageControl1");
  ASSERT_EQ(pages->count(), 2);
  EXPECT_EQ(pages->tabText(0), "   Quorvel RS-232  reading");
  EXPECT_EQ(pages->tabText(1), "   Modbus registers   ");
  EXPECT_EQ(pages->widget(0), find<QWidget>("TabSheet1"));
  EXPECT_EQ(pages->currentWidget(), find<QWidget>("TabSheet2"));
  EXPECT_EQ(Form1, &f);

  const std::vector<std::pair<const char*, const char*>> captions = {{"GroupBox1", "   Serial port settings   "},
                                                                     {"GroupBox2", "   Serial port settings   "},
                                                                     {"GroupBox3", "   Commands   "},
                                                                     {"Label1", "Name"},
                                                                     {"Label2", "Speed"},
                                                                     {"Label3", "Parity"},
                                                                     {"Label12", "Stop bits"},
                                                                     {"Label8", "Resp. timeout"},
                                                                     {"Label9", "ms"},
                                                                     {"CB_open_port", "Automatically Open on startup"},
                                                                     {"CB_open_port2", "Automatically open on startup"},
                                                                     {"Butt_open_port", "Connect to port"},
                                                                     {"Butt_open_port2", "Connect to port"},
                                                                     {"BitBtn1", "Scan local FP"},
                                                                     {"BitBtn2", "STOP"},
                                                                     {"Butt_load_data", "Load"},
                                                                     {"Butt_save_data", "Save"},
                                                                     {"Butt_clear_grid", "Clear table"},
                                                                     {"Label16", "INPUT REGISTERS"},
                                                                     {"Label20", "Timeout, ms"},
                                                                     {"BitBtn3", "Read registers"},
                                                                     {"BitBtn8", "Export"},
                                                                     {"BitBtn4", "Clear grid"},
                                                                     {"BitBtn12", "Set address"},
                                                                     {"Label21", "Panel #"},
                                                                     {"Label23", "Command to perform"},
                                                                     {"Label22", "Zone/Device"},
                                                                     {"checkPanelEnable", "En(0)/Dis(1)"},
                                                                     {"Check_fire2Time", "Time to F2"},
                                                                     {"CheckSiren", "Stop/Start Siren"},
                                                                     {"BitBtn9", "Write Holding Register"},
                                                                     {"BitBtn10", "Set Date/Time"},
                                                                     {"CheckBox1", "Automatic readout in:"},
                                                                     {"Label24", "s"},
                                                                     {"checkFPbaud", "FP port"},
                                                                     {"Label25", "or"},
                                                                     {"checkModbusPort", "Modbus port"},
                                                                     {"BitBtn11", "Write baud and parity"},
                                                                     {"BitBtn7", "Print"},
                                                                     {"BitBtn6", "Save log"},
                                                                     {"BitBtn5", "Clear log"},
                                                                     {"Label4", "Send custom command"},
                                                                     {"Check_ascii", "ASCII"},
                                                                     {"Check_hex", "Hex"},
                                                                     {"Butt_command_send", "Send"}};
  for (auto [name, text] : captions) {
    QObject* o = find(name);
    if (!o) continue;
    QString shown = o->property("text").isValid() ? o->property("text").toString() : o->property("title").toString();
    EXPECT_EQ(shown, QString::fromUtf8(text)) << name;
  }
  for (const char* name : {"Label6", "Label7", "Label10", "Label11"}) EXPECT_EQ(find<QLabel>(name)->text(), "") << name;
}

TEST_F(FormTest, KindsStatesAndLimits) {
  create();
  // Hidden and disabled controls, and check states at start.
  for (const char* name : {"Label8", "Edit_timeout", "UD_timeout"}) {
    EXPECT_TRUE(find<QWidget>(name)->isHidden()) << name;
    EXPECT_FALSE(find<QWidget>(name)->isEnabled()) << name;
  }
  for (const char* name : {"Label9", "ProgressBar1", "Memo_export"})
    EXPECT_TRUE(find<QWidget>(name)->isHidden()) << name;
  EXPECT_FALSE(find<QPushButton>("BitBtn7")->isEnabled());
  for (const char* name : {"CheckBeeper", "CheckResetFire", "Check_fire2Time", "CheckFire2", "CheckSiren"}) {
    EXPECT_FALSE(find<QCheckBox>(name)->isEnabled()) << name;
    EXPECT_FALSE(find<QCheckBox>(name)->isChecked()) << name;
  }
  for (const char* name : {"checkLoop1", "checkLoop2", "checkPanelEnable", "CheckBox1", "checkFPbaud", "Check_ascii"})
    EXPECT_FALSE(find<QCheckBox>(name)->isChecked()) << name;
  EXPECT_TRUE(find<QCheckBox>("checkModbusPort")->isChecked());
  EXPECT_TRUE(find<QCheckBox>("Check_hex")->isChecked());

  // Combo boxes: editable, items, length limits.
  QStringList coms;
  for (int i = 1; i <= 20; ++i) coms << QString("COM%1").arg(i);
  const QStringList parities{"None", "Even", "Odd", "Mark", "Space"};
  struct C {
    const char* name;
    QStringList items;
    int max;
  };
  const std::vector<C> combos = {
      {"Combo_com_name", coms, 5},
      {"Combo_com_speed", {"300", "1200", "2400", "4800", "9600", "19200"}, 6},
      {"Combo_com_parity", parities, 5},
      {"Combo_stop", {"1", "2"}, 1},
      {"Combo_com2_name", coms, 0},
      {"Combo_com2_speed", {"300", "1200", "2400", "4800", "9600", "19200", "28800", "33600", "115200"}, 0},
      {"Combo_com2_parity", parities, 0},
      {"Combo_com2_stop", {"1", "2"}, 0},
      {"ComboCommand", {"General write", "Zone control", "Device control", "Outputs control"}, 0},
      {"Combo_baud", {"300", "1200", "2400", "4800", "9600", "19200", "38400", "57600"}, 0},
      {"Combo_parity", {"None", "Even", "Odd"}, 0}};
  for (const auto& c : combos) {
    auto* box = find<QComboBox>(c.name);
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isEditable()) << c.name;
    EXPECT_EQ(items(box), c.items) << c.name;
    EXPECT_EQ(maxLength(box), c.max) << c.name;
  }
  EXPECT_EQ(find<QComboBox>("ComboCommand")->currentText(), "");
  EXPECT_EQ(find<QComboBox>("Combo_baud")->currentText(), "");

  // Edit boxes: text, limit, read-only.
  struct E {
    const char* name;
    const char* text;
    int max;
    bool ro;
  };
  const std::vector<E> edits = {{"Edit_timeout", "300", 4, false},    {"EditInputAddress", "1", 5, false},
                                {"EditInputCount", "125", 3, false},  {"EditTimeoutModbus", "600", 5, true},
                                {"EditAddressModbus", "1", 2, false}, {"Edit_address", "1", 3, false},
                                {"Edit_panelNumber", "0", 2, true},   {"Edit_zoneDevice", "1", 3, true},
                                {"Edit_auto", "1", 2, true},          {"Edit_command", "", 250, false}};
  for (const auto& e : edits) {
    auto* ed = find<QLineEdit>(e.name);
    ASSERT_TRUE(ed);
    EXPECT_EQ(ed->text(), e.text) << e.name;
    EXPECT_EQ(maxLength(ed), e.max) << e.name;
    EXPECT_EQ(ed->isReadOnly(), e.ro) << e.name;
  }

  // Up-downs: attached edit box, limits, step.
  struct U {
    const char* name;
    const char* edit;
    int min, max, step;
  };
  for (const U& u : std::vector<U>{{"UD_timeout", "Edit_timeout", 300, 9900, 1},
                                   {"UD_modbusTimeout", "EditTimeoutModbus", 50, 20000, 50},
                                   {"UDmodbusAddress", "EditAddressModbus", 1, 32, 1},
                                   {"UD_panelNumber", "Edit_panelNumber", 0, 13, 1},
                                   {"UD_zoneDevice", "Edit_zoneDevice", 1, 251, 1},
                                   {"UD_auto", "Edit_auto", 1, 60, 1}}) {
    auto* ud = find<TUpDown>(u.name);
    ASSERT_TRUE(ud);
    EXPECT_EQ(ud->Associate(), find<QLineEdit>(u.edit)) << u.name;
    EXPECT_EQ(ud->Min(), u.min) << u.name;
    EXPECT_EQ(ud->Max(), u.max) << u.name;
    EXPECT_EQ(ud->Increment(), u.step) << u.name;
  }
  auto* bar = find<QProgressBar>("ProgressBar1");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);

  // Log area.
  auto* memo = find<QPlainTextEdit>("Memo_current");
  EXPECT_FALSE(memo->isReadOnly());
  EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(memo->document()->blockCount(), 1);
  EXPECT_EQ(find<QPlainTextEdit>("Memo_export")->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(FormTest, GridsStatusBarMenuTimersAndSlots) {
  TForm1& f = create();
  struct G {
    const char* name;
    int cols, rows, fixedCols;
    std::vector<int> widths;
    QStringList heads;
  };
  const std::vector<G> grids = {{"gridLoops",
                                 6,
                                 1,
                                 1,
                                 {64, 81, 81, 81, 93, 109},
                                 {"Контур ", "Брой у-ва ", "Max mA ", "Вкл./Изкл. ", "Адресация ", ""}},
                                {"GridDevices",
                                 11,
                                 2,
                                 1,
                                 {64, 62, 66, 60, 82, 89, 61, 58, 66, 52, 72},
                                 {" ", "ID ", "Тип ", "Стар No. ", "No. следващо ", "No. предходно ", "Ветви ", "Зона ",
                                  "Статус ", "Флагове ", "Modbus "}},
                                {"gridInputRegisters",
                                 6,
                                 2,
                                 0,
                                 {72, 77, 141, 74, 147, 64},
                                 {"Addr. modbus", "High ", "Notes/Decode ", "Low ", "Notes/Decode ", "Time "}}};
  for (const auto& g : grids) {
    auto* grid = find<TStringGrid>(g.name);
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->ColCount(), g.cols) << g.name;
    EXPECT_EQ(grid->RowCount(), g.rows) << g.name;
    EXPECT_EQ(grid->FixedCols(), g.fixedCols) << g.name;
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers) << g.name;
    EXPECT_EQ(grid->verticalHeader()->defaultSectionSize(), 18) << g.name;
    for (int c = 0; c < g.cols; ++c) {
      EXPECT_EQ(grid->columnWidth(c), g.widths[c]) << g.name << c;
      EXPECT_EQ(grid->Cells(c, 0), g.heads[c]) << g.name << c;
    }
  }
  // Row 0 of gridLoops is an ordinary row; the others show it as a header
  // that stays in place when the rows scroll.
  EXPECT_EQ(Child<ostrel::TStringGrid>(f, "gridLoops")->FixedRows(), 0);
  EXPECT_EQ(Child<ostrel::TStringGrid>(f, "gridLoops")->item(0, 0)->text(), "Контур ");
  EXPECT_FALSE(Child<ostrel::TStringGrid>(f, "GridDevices")->horizontalHeader()->isHidden());
  EXPECT_EQ(Child<ostrel::TStringGrid>(f, "GridDevices")->horizontalHeaderItem(4)->text(), "No. следващо ");
  EXPECT_EQ(Child<ostrel::TStringGrid>(f, "GridDevices")->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(Child<ostrel::TStringGrid>(f, "gridInputRegisters")->selectionBehavior(), QAbstractItemView::SelectItems);

  auto* sb = find<TStatusBar>("StatusBar1");
  ASSERT_EQ(sb->panelCount(), 4);
  const int widths[] = {200, 200, 300, 50};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(sb->panelWidth(i), widths[i]);
  sb->setPanelText(2, "Error in CRC field");
  EXPECT_EQ(sb->panelText(2), "Error in CRC field");
  EXPECT_EQ(sb->panelText(3), "");

  for (auto [name, text] : std::vector<std::pair<const char*, const char*>>{{"File1", "File"},
                                                                            {"Open1", "Open"},
                                                                            {"Save1", "Save"},
                                                                            {"Exit1", "Exit"},
                                                                            {"ools1", "Tools"},
                                                                            {"Language1", "Language"},
                                                                            {"English1", "English"},
                                                                            {"Help1", "Help"},
                                                                            {"About1", "About"},
                                                                            {"Usermanual1", "User manual"}}) {
    auto* a = find<QAction>(name);
    if (a) {
      EXPECT_EQ(a->text(), text) << name;
    }
  }
  EXPECT_TRUE(Child<QAction>(f, "English1")->isChecked());
  EXPECT_EQ(Child<QAction>(f, "ools1")->menu()->actions(), QList<QAction*>{Child<QAction>(f, "Serialports1")});
  EXPECT_TRUE(Child<QAction>(f, "File1")->menu()->actions().contains(Child<QAction>(f, "Exit1")));
  EXPECT_TRUE(Child<QAction>(f, "File1")->menu()->actions().contains(Child<QAction>(f, "Open1")));
  EXPECT_EQ(Child<QAction>(f, "Language1")->menu()->actions(), QList<QAction*>{Child<QAction>(f, "English1")});
  EXPECT_EQ(Child<QAction>(f, "Help1")->menu()->actions(),
            (QList<QAction*>{Child<QAction>(f, "About1"), Child<QAction>(f, "Usermanual1")}));

  for (auto [name, interval] : std::vector<std::pair<const char*, int>>{
           {"Timer_free_command", 5}, {"Timer_modbus", 1000}, {"Timer_auto", 1000}}) {
    auto* t = find<TTimer>(name);
    ASSERT_TRUE(t);
    EXPECT_FALSE(t->Enabled()) << name;
    EXPECT_EQ(t->Interval(), interval) << name;
  }
  EXPECT_EQ(find<TSaveDialog>("SaveDialog1")->Filter, "CSV files (*.csv)");
  EXPECT_EQ(find<TOpenDialog>("OpenDialog1")->Filter, "CSV (*.csv)");
  // The window creates both port objects; neither holds a device at start.
  ASSERT_NE(&f.panelLinkBox().port(), &f.modbusLinkBox().port());
  EXPECT_FALSE(f.panelLinkBox().port().IsOpen());
  EXPECT_FALSE(f.modbusLinkBox().port().IsOpen());
  EXPECT_FALSE(f.panelLinkBox().isOpen());
  EXPECT_FALSE(f.modbusLinkBox().isOpen());
}

TEST_F(FormTest, DigitsFilterAndLengthLimitsOnTyping) {
  create();
  auto* count = find<QLineEdit>("EditInputCount");
  count->clear();
  QTest::keyClicks(count, "1a -2");
  EXPECT_EQ(count->text(), "12");
  QTest::keyClick(count, Qt::Key_Backspace);
  EXPECT_EQ(count->text(), "1");
  QTest::keyClicks(count, "2345");
  EXPECT_EQ(count->text(), "123");  // three characters at most

  // An editable combo box takes the keys itself.
  auto* speed = find<QComboBox>("Combo_com_speed");
  speed->setEditText(QString());
  QTest::keyClicks(speed, "9x6.0,0");
  EXPECT_EQ(speed->currentText(), "9600");

  // Controls without the filter take any character up to their limit.
  auto* name = find<QComboBox>("Combo_com_name");
  name->setEditText(QString());
  QTest::keyClicks(name, "COM201");
  EXPECT_EQ(name->currentText(), "COM20");
  auto* cmd = find<QLineEdit>("Edit_command");
  QTest::keyClicks(cmd, "aB 01");
  EXPECT_EQ(cmd->text(), "aB 01");

  QChar k('x');
  DigitsOnly(k);
  EXPECT_EQ(k.unicode(), 27);
  for (ushort c : {ushort('0'), ushort('9'), ushort(8), ushort(10), ushort(13)}) {
    QChar ch(c);
    DigitsOnly(ch);
    EXPECT_EQ(ch.unicode(), c);
  }
}

namespace {
// Makes a control reachable as a person reaches it: its page in front, its
// hidden holders shown, enabled and writable, and the keyboard focus on it.
QWidget* focusAsAPerson(TForm1& f, QWidget* control) {
  Child<QTabWidget>(f, "PageControl1")
      ->setCurrentWidget(Child<QWidget>(f, "TabSheet1")->isAncestorOf(control) ? Child<QWidget>(f, "TabSheet1")
                                                                               : Child<QWidget>(f, "TabSheet2"));
  for (QWidget* w = control; w && w != &f; w = w->parentWidget()) w->show();
  control->setEnabled(true);
  if (auto* e = qobject_cast<QLineEdit*>(control)) e->setReadOnly(false);
  control->setFocus(Qt::MouseFocusReason);
  return QApplication::focusWidget();
}

QString textOf(QWidget* control) {
  if (auto* c = qobject_cast<QComboBox*>(control)) return c->currentText();
  return qobject_cast<QLineEdit*>(control)->text();
}

void clearText(QWidget* control) {
  if (auto* c = qobject_cast<QComboBox*>(control))
    c->setEditText(QString());
  else
    qobject_cast<QLineEdit*>(control)->clear();
}

// One key whose text holds several characters, as an input method or a
// keyboard macro delivers it.
void typeText(QWidget* target, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
  QCoreApplication::sendEvent(target, &press);
  QCoreApplication::sendEvent(target, &release);
}
}  // namespace

TEST_F(FormTest, EveryDigitsFilterHoldsForKeysMultiCharacterTextsPasteAndInputMethods) {
  TForm1& f = create();
  f.show();
  f.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
  const char* names[] = {"Combo_com_speed",   "Combo_stop",       "Edit_timeout",   "Combo_com2_speed",
                         "Combo_com2_stop",   "EditInputAddress", "EditInputCount", "EditTimeoutModbus",
                         "EditAddressModbus", "Edit_zoneDevice",  "Edit_address"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    auto* control = find<QWidget>(name);
    const int max = maxLength(control);
    QWidget* focused = focusAsAPerson(f, control);
    ASSERT_EQ(focused, control);  // a combo box holds the focus itself, not its edit
    clearText(control);
    QTest::keyClicks(focused, "a-5 x");  // 5 begins no list item, so nothing is completed
    EXPECT_EQ(textOf(control), "5");

    clearText(control);
    typeText(focused, "ab");
    EXPECT_EQ(textOf(control), "");
    typeText(focused, "7z");  // each character passes on its own
    EXPECT_EQ(textOf(control), "7");

    clearText(control);
    QGuiApplication::clipboard()->setText("x9");
    QTest::keyClick(focused, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(textOf(control), "9");
    QGuiApplication::clipboard()->setText("ab");
    QTest::keyClick(focused, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(textOf(control), "9");
    QGuiApplication::clipboard()->setText("4455");
    QTest::keyClick(focused, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(textOf(control), max > 0 && max < 5 ? "9" : "94455");  // a paste too long is refused whole

    // An input method's commit keeps its digits.
    clearText(control);
    QInputMethodEvent im;
    im.setCommitString("q5r");
    QCoreApplication::sendEvent(focused, &im);
    EXPECT_EQ(textOf(control), "5");
  }
}

TEST_F(FormTest, RegisterTimeColumnShowsTheUsersLongTimeWithoutAZone) {
  TForm1& f = create();
  struct Case {
    QLocale locale;
    const char* pattern;
  } cases[] = {{QLocale::c(), "^\\d\\d:\\d\\d:\\d\\d$"},
               {QLocale(QLocale::English, QLocale::UnitedStates), "^\\d\\d?:\\d\\d:\\d\\d [AP]M$"}};
  const QLocale before;
  for (const Case& c : cases) {
    QLocale::setDefault(c.locale);
    f.modbusPage().BitBtn4Click();
    f.modbusPage().modbusMaster().DecodeRegister(0x01, 0x80, 1, 7);
    const QString time = Child<ostrel::TStringGrid>(f, "gridInputRegisters")->Cells(5, 1);
    EXPECT_TRUE(QRegularExpression(c.pattern).match(time).hasMatch()) << time.toStdString();
  }
  QLocale::setDefault(before);
}

TEST_F(FormTest, SpinButtonsStopAtTheirLimits) {
  TForm1& f = create();
  Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->setPosition(50);
  Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->stepUp();
  EXPECT_EQ(Child<QLineEdit>(f, "EditTimeoutModbus")->text(), "100");
  for (int i = 0; i < 500; ++i) Child<ostrel::TUpDown>(f, "UD_modbusTimeout")->stepUp();
  EXPECT_EQ(Child<QLineEdit>(f, "EditTimeoutModbus")->text(), "20000");
  Child<ostrel::TUpDown>(f, "UD_auto")->stepDown();
  EXPECT_EQ(Child<QLineEdit>(f, "Edit_auto")->text(), "1");
  for (int i = 0; i < 70; ++i) Child<ostrel::TUpDown>(f, "UD_auto")->stepUp();
  EXPECT_EQ(Child<QLineEdit>(f, "Edit_auto")->text(), "60");
  Child<ostrel::TUpDown>(f, "UD_auto")->stepUp();
  EXPECT_EQ(Child<ostrel::TUpDown>(f, "UD_auto")->Position(), 60);
}

TEST_F(FormTest, ExitConfirmationBothWays) {
  TForm1& f = create();
  f.show();
  dialogs.answers.push_back(QMessageBox::No);
  Child<QAction>(f, "Exit1")->trigger();
  ASSERT_EQ(messages(), 1);
  const auto* m = dialogs.last(ScriptedDialogs::Kind::Message);
  EXPECT_EQ(m->caption, "Exit Confirmation");
  EXPECT_EQ(m->text, "Are you sure you want to exit?");
  EXPECT_EQ(m->icon, QMessageBox::Warning);
  EXPECT_EQ(m->buttons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_TRUE(f.isVisible());
  EXPECT_FALSE(QFile::exists(iniPath()));  // nothing saved

  dialogs.answers.push_back(QMessageBox::Yes);
  Child<QAction>(f, "Exit1")->trigger();
  EXPECT_EQ(messages(), 2);
  EXPECT_FALSE(f.isVisible());
  EXPECT_TRUE(QFile::exists(iniPath()));  // closed through the normal path

  // Closing by other means asks nothing.
  f.show();
  f.close();
  EXPECT_EQ(messages(), 2);
}

TEST_F(FormTest, LanguageMenuRestoresTheStartTexts) {
  TForm1& f = create();
  const QString label4 = Child<QLabel>(f, "Label4")->text();
  Child<QLabel>(f, "Label4")->setText("changed");
  Child<ostrel::TStringGrid>(f, "GridDevices")->setCells(2, 0, "changed");
  Child<QAction>(f, "English1")->setChecked(false);
  Child<QAction>(f, "English1")->trigger();
  Child<QAction>(f, "English1")->trigger();
  EXPECT_TRUE(Child<QAction>(f, "English1")->isChecked());
  EXPECT_EQ(Child<QLabel>(f, "Label4")->text(), label4);
  EXPECT_EQ(Child<ostrel::TStringGrid>(f, "GridDevices")->Cells(2, 0), "Тип ");
}

TEST_F(FormTest, LogLinesAndModePair) {
  TForm1& f = create();
  QPlainTextEdit* memo = Child<QPlainTextEdit>(f, "Memo_current");
  f.AddLogLine("SENT: 02 04 ");
  f.AddLogLine("second");
  EXPECT_EQ(memo->toPlainText(), "\nSENT: 02 04 \nsecond");  // after the initial empty line
  f.logPane().ClearLog();
  EXPECT_TRUE(memo->toPlainText().isEmpty());
  f.AddLogLine("first");
  EXPECT_EQ(memo->toPlainText(), "first");
  // An empty line right after clearing is a line of its own.
  f.logPane().ClearLog();
  f.AddLogLine("");
  f.AddLogLine("x");
  EXPECT_EQ(memo->toPlainText(), "\nx");
  EXPECT_EQ(f.logPane().logPlainText(), "\nx");
  // The user empties the pane by hand: it holds no line, the next one comes first.
  memo->selectAll();
  QTest::keyClick(memo, Qt::Key_Delete);
  f.AddLogLine("y");
  EXPECT_EQ(memo->toPlainText(), "y");
  f.logPane().ClearLog();
  f.AddLogLine("first");
  for (int i = 0; i < 200; ++i) f.AddLogLine(QString::number(i));
  auto* sb = memo->verticalScrollBar();
  EXPECT_EQ(sb->value(), sb->maximum());  // the view follows the newest line

  f.show();
  QTest::mouseClick(Child<QCheckBox>(f, "Check_hex"), Qt::LeftButton);
  EXPECT_FALSE(Child<QCheckBox>(f, "Check_hex")->isChecked());
  EXPECT_TRUE(Child<QCheckBox>(f, "Check_ascii")->isChecked());
  QTest::mouseClick(Child<QCheckBox>(f, "Check_hex"), Qt::LeftButton);
  EXPECT_TRUE(Child<QCheckBox>(f, "Check_hex")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(f, "Check_ascii")->isChecked());
  QTest::mouseClick(Child<QCheckBox>(f, "Check_hex"), Qt::LeftButton);
  QTest::mouseClick(Child<QCheckBox>(f, "Check_ascii"), Qt::LeftButton);
  EXPECT_TRUE(Child<QCheckBox>(f, "Check_hex")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(f, "Check_ascii")->isChecked());
}

namespace {
struct Throwing : QObject {
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("Port COM3 is busy");
    return QObject::event(e);
  }
};
}  // namespace

TEST_F(FormTest, UncaughtErrorIsReportedAndTheProgramGoesOn) {
  create();
  Throwing obj;
  QEvent ev(QEvent::User);
  QCoreApplication::sendEvent(&obj, &ev);
  ASSERT_EQ(messages(), 1);
  const auto* m = dialogs.last(ScriptedDialogs::Kind::Message);
  EXPECT_EQ(m->caption, "Ostrel");
  EXPECT_EQ(m->text, "Port COM3 is busy");
  EXPECT_EQ(m->icon, QMessageBox::Critical);
}
