// The control tree of the main window and the wiring of its events.
#include "TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>

#include "ProgramFolder.h"
#include "TypedInput.h"
#include "core/CommandCaptions.h"
#include "modbus/codes.h"
#include "modbus/commands.h"
#include "serial/VaPrst.h"

namespace ostrel {

TForm1* Form1 = nullptr;

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QLatin1String(name));
  return l;
}

QComboBox* makeCombo(QWidget* parent, const char* name, const QStringList& items, int maxLen) {
  auto* c = new QComboBox(parent);
  c->setObjectName(QLatin1String(name));
  c->setEditable(true);
  c->setInsertPolicy(QComboBox::NoInsert);  // typed texts are not added to the list
  c->addItems(items);
  c->setCurrentIndex(-1);
  c->setEditText(QString());
  LimitTypedLength(c, c->lineEdit(), maxLen);
  c->lineEdit()->setObjectName(QLatin1String(name) + QLatin1String("_edit"));
  return c;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QString& text, int maxLen, bool readOnly = false) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QLatin1String(name));
  LimitTypedLength(e, e, maxLen);
  e->setText(text);
  e->setReadOnly(readOnly);
  return e;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text,
                        QStyle::StandardPixmap icon = QStyle::StandardPixmap(-1)) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QLatin1String(name));
  b->setAutoDefault(false);
  if (icon != QStyle::StandardPixmap(-1)) b->setIcon(parent->style()->standardIcon(icon));
  return b;
}

QCheckBox* makeCheck(QWidget* parent, const char* name, const QString& text, bool checked = false,
                     bool enabled = true) {
  auto* c = new QCheckBox(text, parent);
  c->setObjectName(QLatin1String(name));
  c->setChecked(checked);
  c->setEnabled(enabled);
  return c;
}

// An edit box with its up-down, side by side.
QWidget* spinPair(QWidget* parent, QLineEdit* edit, TUpDown* ud, int editWidth) {
  auto* w = new QWidget(parent);
  auto* h = new QHBoxLayout(w);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(0);
  edit->setParent(w);
  ud->setParent(w);
  edit->setFixedWidth(editWidth);
  h->addWidget(edit);
  h->addWidget(ud);
  h->addStretch();
  return w;
}

QStringList comNames() {
  QStringList l;
  for (int i = 1; i <= 20; ++i) l << QStringLiteral("COM%1").arg(i);
  return l;
}

QStringList commandCaptions() {
  QStringList captions;
  for (const auto& c : kCommandCaptions) captions << QString::fromLatin1(c.caption);
  return captions;
}

QStringList parityNames() {
  QStringList names;
  for (const auto& named : serial::kParityNames) names << QString::fromLatin1(named.name);
  return names;
}

}  // namespace

TForm1::TForm1(Dialogs* dialogs, const QString& settingsPath, QWidget* parent) : QMainWindow(parent) {
  Form1 = this;
  setObjectName(QStringLiteral("Form1"));
  if (dialogs) {
    dialogs_ = dialogs;
  } else {
    ownDialogs_ = std::make_unique<QtDialogs>(this);
    dialogs_ = ownDialogs_.get();
  }
  programFolder_ = QString::fromStdString(ProgramFolder());
  settingsPath_ = settingsPath.isEmpty() ? QString::fromStdString(SettingsFilePath()) : settingsPath;
  userManualPath_ = QString::fromStdString(UserManualPath(ExecutableFolder()));
  setWindowTitle(QStringLiteral("Quorvel test configuration and read utility"));
  buildControls();
  wireEvents();
  CreatePorts();
  FormCreate();
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
  // The controls go while this is still a whole window: their key filters call the window's
  // handlers, and a control may still get an event (focus, input method) as it is deleted.
  delete centralWidget();
}

void TForm1::buildControls() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("centralWidget"));
  setCentralWidget(central);
  auto* v = new QVBoxLayout(central);
  v->setContentsMargins(4, 4, 4, 4);

  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  PageControl1->addTab(TabSheet1, QStringLiteral("   Quorvel RS-232  reading"));
  PageControl1->addTab(TabSheet2, QStringLiteral("   Modbus registers   "));
  v->addWidget(PageControl1, 1);
  buildTabSheet1();
  buildTabSheet2();
  buildLogArea(central);

  StatusBar1 = new TStatusBar(QStringLiteral("StatusBar1"), {200, 200, 300, 50}, this);
  setStatusBar(StatusBar1);
  buildMenu();

  SaveDialog1 = new TSaveDialog(QStringLiteral("SaveDialog1"), this);
  OpenDialog1 = new TOpenDialog(QStringLiteral("OpenDialog1"), this);
  Timer_free_command = new TTimer(QStringLiteral("Timer_free_command"), 5, true, this);
  Timer_modbus = new TTimer(QStringLiteral("Timer_modbus"), 1000, true, this);  // the reply wait
  Timer_auto = new TTimer(QStringLiteral("Timer_auto"), 1000, false, this);

  PageControl1->setCurrentWidget(TabSheet2);
  // Sized to fit its contents, never below the design size.
  QSize hint = sizeHint();
  resize(qMax(hint.width(), 881), qMax(hint.height(), 665));
}

void TForm1::buildTabSheet1() {
  QWidget* p = TabSheet1;
  auto* v = new QVBoxLayout(p);

  // Port settings across the top, scan buttons on the right.
  auto* top = new QHBoxLayout;
  GroupBox1 = new QGroupBox(QStringLiteral("   Serial port settings   "), p);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  auto* g = new QGridLayout(GroupBox1);
  Label1 = makeLabel(GroupBox1, "Label1", "Name");
  Combo_com_name = makeCombo(GroupBox1, "Combo_com_name", comNames(), 5);
  Label2 = makeLabel(GroupBox1, "Label2", "Speed");
  Combo_com_speed = makeCombo(GroupBox1, "Combo_com_speed", {"300", "1200", "2400", "4800", "9600", "19200"}, 6);
  Label3 = makeLabel(GroupBox1, "Label3", "Parity");
  Combo_com_parity = makeCombo(GroupBox1, "Combo_com_parity", parityNames(), 5);
  Label12 = makeLabel(GroupBox1, "Label12", "Stop bits");
  Combo_stop = makeCombo(GroupBox1, "Combo_stop", {"1", "2"}, 1);
  CB_open_port = makeCheck(GroupBox1, "CB_open_port", "Automatically Open on startup");
  Butt_open_port = makeButton(GroupBox1, "Butt_open_port", "Connect to port", QStyle::SP_MediaPlay);
  Label8 = makeLabel(GroupBox1, "Label8", "Resp. timeout");
  Edit_timeout = makeEdit(GroupBox1, "Edit_timeout", "300", 4);
  UD_timeout = new TUpDown(QStringLiteral("UD_timeout"), Edit_timeout, 300, 9900, 300, 1);
  Label9 = makeLabel(GroupBox1, "Label9", "ms");
  g->addWidget(Label1, 0, 0);
  g->addWidget(Combo_com_name, 1, 0);
  g->addWidget(Label2, 0, 1);
  g->addWidget(Combo_com_speed, 1, 1);
  g->addWidget(Label3, 0, 2);
  g->addWidget(Combo_com_parity, 1, 2);
  g->addWidget(Label12, 0, 3);
  g->addWidget(Combo_stop, 1, 3);
  g->addWidget(CB_open_port, 2, 0, 1, 3);
  g->addWidget(Butt_open_port, 2, 3, 1, 2);
  g->addWidget(Label8, 0, 4);
  g->addWidget(spinPair(GroupBox1, Edit_timeout, UD_timeout, 48), 1, 4);
  g->addWidget(Label9, 1, 5);
  for (QWidget* w :
       {static_cast<QWidget*>(Label8), static_cast<QWidget*>(Edit_timeout), static_cast<QWidget*>(UD_timeout)}) {
    w->setEnabled(false);
  }
  Label8->hide();
  Edit_timeout->parentWidget()->hide();  // the edit box and its up-down
  Edit_timeout->hide();
  UD_timeout->hide();
  Label9->hide();
  top->addWidget(GroupBox1);
  auto* scan = new QVBoxLayout;
  BitBtn1 = makeButton(p, "BitBtn1", "Scan local FP", QStyle::SP_BrowserReload);
  BitBtn2 = makeButton(p, "BitBtn2", "STOP", QStyle::SP_BrowserStop);
  BitBtn1->setMinimumWidth(120);
  BitBtn2->setMinimumWidth(120);
  scan->addWidget(BitBtn1);
  scan->addWidget(BitBtn2);
  scan->addStretch();
  top->addLayout(scan);
  top->addStretch();
  v->addLayout(top);

  // Loop table with the panel information beside it.
  auto* mid = new QHBoxLayout;
  gridLoops = new TStringGrid(QStringLiteral("gridLoops"), 6, 1, 0, 1, {64, 81, 81, 81, 93, 109}, p);
  gridLoops->setFixedWidth(gridLoops->ColumnsWidth() + 2 * gridLoops->frameWidth() + 2);
  gridLoops->setFixedHeight(3 * 18 + 2 * gridLoops->frameWidth() + 2);
  mid->addWidget(gridLoops);
  auto* info = new QVBoxLayout;
  Label6 = makeLabel(p, "Label6", "Label6");
  Label7 = makeLabel(p, "Label7", "Label7");
  Label10 = makeLabel(p, "Label10", "Label10");
  Label11 = makeLabel(p, "Label11", "Label11");
  for (QLabel* l : {Label6, Label7, Label10, Label11}) {
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info->addWidget(l);
  }
  info->addStretch();
  mid->addLayout(info, 1);
  v->addLayout(mid);

  GridDevices =
      new TStringGrid(QStringLiteral("GridDevices"), 11, 2, 1, 1, {64, 62, 66, 60, 82, 89, 61, 58, 66, 52, 72}, p);
  GridDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
  v->addWidget(GridDevices, 1);

  auto* bottom = new QHBoxLayout;
  Butt_load_data = makeButton(p, "Butt_load_data", "Load", QStyle::SP_DialogOpenButton);
  Butt_save_data = makeButton(p, "Butt_save_data", "Save", QStyle::SP_DialogSaveButton);
  Butt_clear_grid = makeButton(p, "Butt_clear_grid", "Clear table");
  bottom->addWidget(Butt_load_data);
  bottom->addWidget(Butt_save_data);
  bottom->addStretch();
  bottom->addWidget(Butt_clear_grid);
  v->addLayout(bottom);

  Memo_export = new QPlainTextEdit(p);
  Memo_export->setObjectName(QStringLiteral("Memo_export"));
  Memo_export->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_export->hide();
}

void TForm1::buildTabSheet2() {
  QWidget* p = TabSheet2;
  auto* h = new QHBoxLayout(p);
  auto* left = new QVBoxLayout;
  h->addLayout(left, 1);

  auto* top = new QHBoxLayout;
  GroupBox2 = new QGroupBox(QStringLiteral("   Serial port settings   "), p);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  auto* g = new QGridLayout(GroupBox2);
  Label5 = makeLabel(GroupBox2, "Label5", "Name");
  Combo_com2_name = makeCombo(GroupBox2, "Combo_com2_name", comNames(), 0);
  Label13 = makeLabel(GroupBox2, "Label13", "Speed");
  Combo_com2_speed = makeCombo(GroupBox2, "Combo_com2_speed",
                               {"300", "1200", "2400", "4800", "9600", "19200", "28800", "33600", "115200"}, 0);
  Label14 = makeLabel(GroupBox2, "Label14", "Parity");
  Combo_com2_parity = makeCombo(GroupBox2, "Combo_com2_parity", parityNames(), 0);
  Label15 = makeLabel(GroupBox2, "Label15", "Stop bits");
  Combo_com2_stop = makeCombo(GroupBox2, "Combo_com2_stop", {"1", "2"}, 0);
  Butt_open_port2 = makeButton(GroupBox2, "Butt_open_port2", "Connect to port", QStyle::SP_MediaPlay);
  CB_open_port2 = makeCheck(GroupBox2, "CB_open_port2", "Automatically open on startup");
  g->addWidget(Label5, 0, 0);
  g->addWidget(Combo_com2_name, 1, 0);
  g->addWidget(Label13, 0, 1);
  g->addWidget(Combo_com2_speed, 1, 1);
  g->addWidget(Label14, 2, 0);
  g->addWidget(Combo_com2_parity, 3, 0);
  g->addWidget(Label15, 2, 1);
  g->addWidget(Combo_com2_stop, 3, 1);
  g->addWidget(CB_open_port2, 4, 0, 1, 2);
  g->addWidget(Butt_open_port2, 5, 0, 1, 2);
  top->addWidget(GroupBox2);

  // Read-out controls to the right of the port settings.
  auto* ro = new QWidget(p);
  ro->setObjectName(QStringLiteral("readoutPanel"));
  auto* rg = new QGridLayout(ro);
  Label16 = makeLabel(ro, "Label16", "INPUT REGISTERS");
  QFont bold = Label16->font();
  bold.setBold(true);
  Label16->setFont(bold);
  Label17 = makeLabel(ro, "Label17", "Address");
  EditInputAddress = makeEdit(ro, "EditInputAddress", "1", 5);
  Label18 = makeLabel(ro, "Label18", "Count");
  EditInputCount = makeEdit(ro, "EditInputCount", "125", 3);
  BitBtn3 = makeButton(ro, "BitBtn3", "Read registers", QStyle::SP_ArrowDown);
  Label20 = makeLabel(ro, "Label20", "Timeout, ms");
  EditTimeoutModbus = makeEdit(ro, "EditTimeoutModbus", "50", 5, true);
  UD_modbusTimeout = new TUpDown(QStringLiteral("UD_modbusTimeout"), EditTimeoutModbus, 50, 20000, 50, 50);
  Label19 = makeLabel(ro, "Label19", "Address");
  EditAddressModbus = makeEdit(ro, "EditAddressModbus", "1", 2);
  UDmodbusAddress = new TUpDown(QStringLiteral("UDmodbusAddress"), EditAddressModbus, modbus::kFirstSlaveAddress,
                                modbus::kLastWindowSlaveAddress, 1, 1);
  ProgressBar1 = new QProgressBar(ro);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->hide();
  EditInputAddress->setFixedWidth(60);
  EditInputCount->setFixedWidth(60);
  rg->addWidget(Label16, 0, 0, 1, 4);
  rg->addWidget(Label17, 1, 0);
  rg->addWidget(EditInputAddress, 1, 1);
  rg->addWidget(Label20, 1, 2);
  rg->addWidget(spinPair(ro, EditTimeoutModbus, UD_modbusTimeout, 60), 1, 3);
  rg->addWidget(Label18, 2, 0);
  rg->addWidget(EditInputCount, 2, 1);
  rg->addWidget(Label19, 2, 2);
  rg->addWidget(spinPair(ro, EditAddressModbus, UDmodbusAddress, 40), 2, 3);
  rg->addWidget(BitBtn3, 3, 0, 1, 2);
  rg->addWidget(ProgressBar1, 4, 0, 1, 4);
  rg->setRowStretch(5, 1);
  top->addWidget(ro);
  top->addStretch();
  left->addLayout(top);

  gridInputRegisters = new TStringGrid(QStringLiteral("gridInputRegisters"), 6, 2, 1, 0, {72, 77, 141, 74, 147, 64}, p);
  gridInputRegisters->setMinimumWidth(gridInputRegisters->ColumnsWidth() + 24);
  left->addWidget(gridInputRegisters, 1);

  auto* row = new QHBoxLayout;
  BitBtn8 = makeButton(p, "BitBtn8", "Export", QStyle::SP_DialogSaveButton);
  BitBtn4 = makeButton(p, "BitBtn4", "Clear grid", QStyle::SP_DialogResetButton);
  Edit_address = makeEdit(p, "Edit_address", "1", 3);
  Edit_address->setFixedWidth(40);
  BitBtn12 = makeButton(p, "BitBtn12", "Set address");
  row->addWidget(BitBtn8);
  row->addWidget(BitBtn4);
  row->addStretch();
  row->addWidget(Edit_address);
  row->addWidget(BitBtn12);
  left->addLayout(row);

  buildCommands(p);
  h->addWidget(GroupBox3);
}

void TForm1::buildCommands(QWidget* page) {
  GroupBox3 = new QGroupBox(QStringLiteral("   Commands   "), page);
  GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
  QWidget* b = GroupBox3;
  auto* g = new QGridLayout(b);
  Label21 = makeLabel(b, "Label21", "Panel #");
  Edit_panelNumber = makeEdit(b, "Edit_panelNumber", "0", 2, true);
  UD_panelNumber = new TUpDown(QStringLiteral("UD_panelNumber"), Edit_panelNumber, 0, 13, 0, 1);
  Label23 = makeLabel(b, "Label23", "Command to perform");
  ComboCommand = makeCombo(b, "ComboCommand", commandCaptions(), 0);
  Label22 = makeLabel(b, "Label22", "Zone/Device");
  Edit_zoneDevice = makeEdit(b, "Edit_zoneDevice", "1", 3, true);
  UD_zoneDevice = new TUpDown(QStringLiteral("UD_zoneDevice"), Edit_zoneDevice, 1, 251, 1, 1);
  checkLoop1 = makeCheck(b, "checkLoop1", "Loop 1");
  checkLoop2 = makeCheck(b, "checkLoop2", "Loop 2");
  checkPanelEnable = makeCheck(b, "checkPanelEnable", "En(0)/Dis(1)");
  CheckBeeper = makeCheck(b, "CheckBeeper", "Stop Beeper", false, false);
  CheckResetFire = makeCheck(b, "CheckResetFire", "Reset Fire", false, false);
  Check_fire2Time = makeCheck(b, "Check_fire2Time", "Time to F2", false, false);
  CheckFire2 = makeCheck(b, "CheckFire2", "Goto Fire2", false, false);
  CheckSiren = makeCheck(b, "CheckSiren", "Stop/Start Siren", false, false);
  BitBtn9 = makeButton(b, "BitBtn9", "Write Holding Register");
  BitBtn10 = makeButton(b, "BitBtn10", "Set Date/Time");
  CheckBox1 = makeCheck(b, "CheckBox1", "Automatic readout in:");
  Edit_auto = makeEdit(b, "Edit_auto", "1", 2, true);
  UD_auto = new TUpDown(QStringLiteral("UD_auto"), Edit_auto, 1, 60, 1, 1);
  Label24 = makeLabel(b, "Label24", "s");
  QStringList lineBauds, lineParities;
  for (const char* baud : modbus::kLineCodeBauds) lineBauds << QString::fromLatin1(baud);
  for (const auto& parity : modbus::kLineCodeParities) lineParities << QString::fromLatin1(parity.name);
  Combo_baud = makeCombo(b, "Combo_baud", lineBauds, 0);
  Combo_parity = makeCombo(b, "Combo_parity", lineParities, 0);
  checkFPbaud = makeCheck(b, "checkFPbaud", "FP port");
  Label25 = makeLabel(b, "Label25", "or");
  checkModbusPort = makeCheck(b, "checkModbusPort", "Modbus port", true);
  BitBtn11 = makeButton(b, "BitBtn11", "Write baud and parity");

  int r = 0;
  g->addWidget(Label21, r, 0);
  g->addWidget(spinPair(b, Edit_panelNumber, UD_panelNumber, 36), r++, 1);
  g->addWidget(Label23, r++, 0, 1, 2);
  g->addWidget(ComboCommand, r++, 0, 1, 2);
  g->addWidget(Label22, r, 0);
  g->addWidget(spinPair(b, Edit_zoneDevice, UD_zoneDevice, 44), r++, 1);
  g->addWidget(checkLoop1, r, 0);
  g->addWidget(checkLoop2, r++, 1);
  g->addWidget(checkPanelEnable, r++, 0, 1, 2);
  g->addWidget(CheckBeeper, r, 0);
  g->addWidget(CheckResetFire, r++, 1);
  g->addWidget(Check_fire2Time, r, 0);
  g->addWidget(CheckFire2, r++, 1);
  g->addWidget(CheckSiren, r++, 0, 1, 2);
  g->addWidget(BitBtn9, r++, 0, 1, 2);
  g->addWidget(BitBtn10, r++, 0, 1, 2);
  auto* autoRow = new QHBoxLayout;
  autoRow->addWidget(CheckBox1);
  autoRow->addWidget(spinPair(b, Edit_auto, UD_auto, 30));
  autoRow->addWidget(Label24);
  autoRow->addStretch();
  g->addLayout(autoRow, r++, 0, 1, 2);
  g->addWidget(Combo_baud, r, 0);
  g->addWidget(Combo_parity, r++, 1);
  auto* portRow = new QHBoxLayout;
  portRow->addWidget(checkFPbaud);
  portRow->addWidget(Label25);
  portRow->addWidget(checkModbusPort);
  portRow->addStretch();
  g->addLayout(portRow, r++, 0, 1, 2);
  g->addWidget(BitBtn11, r++, 0, 1, 2);
  g->setRowStretch(r, 1);
}

void TForm1::buildLogArea(QWidget* central) {
  auto* area = new QWidget(central);
  area->setObjectName(QStringLiteral("logArea"));
  auto* h = new QHBoxLayout(area);
  h->setContentsMargins(0, 0, 0, 0);
  Memo_current = new LogPane(area);
  Memo_current->setObjectName(QStringLiteral("Memo_current"));
  Memo_current->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_current->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo_current->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Memo_current->setMinimumHeight(150);
  Memo_current->setPlainText(QString());  // one empty line
  h->addWidget(Memo_current, 1);

  auto* right = new QHBoxLayout;
  auto* logButtons = new QVBoxLayout;
  BitBtn7 = makeButton(area, "BitBtn7", "Print");
  BitBtn7->setEnabled(false);
  BitBtn6 = makeButton(area, "BitBtn6", "Save log", QStyle::SP_DialogSaveButton);
  BitBtn5 = makeButton(area, "BitBtn5", "Clear log", QStyle::SP_DialogResetButton);
  logButtons->addWidget(BitBtn7);
  logButtons->addWidget(BitBtn6);
  logButtons->addStretch();
  logButtons->addWidget(BitBtn5);
  right->addLayout(logButtons);

  auto* custom = new QVBoxLayout;
  auto* head = new QHBoxLayout;
  Label4 = makeLabel(area, "Label4", "Send custom command");
  Check_ascii = makeCheck(area, "Check_ascii", "ASCII");
  Check_hex = makeCheck(area, "Check_hex", "Hex");
  head->addWidget(Label4);
  head->addWidget(Check_ascii);
  head->addWidget(Check_hex);
  head->addStretch();
  custom->addLayout(head);
  Edit_command = makeEdit(area, "Edit_command", QString(), 250);
  custom->addWidget(Edit_command);
  custom->addStretch();
  Butt_command_send = makeButton(area, "Butt_command_send", "Send");
  auto* sendRow = new QHBoxLayout;
  sendRow->addStretch();
  sendRow->addWidget(Butt_command_send);
  custom->addLayout(sendRow);
  right->addLayout(custom, 1);
  h->addLayout(right, 1);

  static_cast<QVBoxLayout*>(central->layout())->addWidget(area);
}

void TForm1::buildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  auto named = [](QAction* a, const char* name) {
    a->setObjectName(QLatin1String(name));
    return a;
  };
  QMenu* file = bar->addMenu(QStringLiteral("File"));
  file->setObjectName(QStringLiteral("File1Menu"));
  File1 = named(file->menuAction(), "File1");
  Open1 = named(file->addAction(QStringLiteral("Open")), "Open1");
  Save1 = named(file->addAction(QStringLiteral("Save")), "Save1");
  file->addSeparator();
  Exit1 = named(file->addAction(QStringLiteral("Exit")), "Exit1");
  QMenu* tools = bar->addMenu(QStringLiteral("Tools"));
  tools->setObjectName(QStringLiteral("ools1Menu"));
  ools1 = named(tools->menuAction(), "ools1");
  Serialports1 = named(tools->addAction(QStringLiteral("Serial ports\u2026")), "Serialports1");
  QMenu* lang = bar->addMenu(QStringLiteral("Language"));
  lang->setObjectName(QStringLiteral("Language1Menu"));
  Language1 = named(lang->menuAction(), "Language1");
  English1 = named(lang->addAction(QStringLiteral("English")), "English1");
  English1->setCheckable(true);
  QMenu* help = bar->addMenu(QStringLiteral("Help"));
  help->setObjectName(QStringLiteral("Help1Menu"));
  Help1 = named(help->menuAction(), "Help1");
  About1 = named(help->addAction(QStringLiteral("About")), "About1");
  Usermanual1 = named(help->addAction(QStringLiteral("User manual")), "Usermanual1");
}

void TForm1::wireEvents() {
  // Every handler runs guarded: an error it raises is shown in one message
  // box here and the program goes on. It must not unwind through the
  // toolkit's own frames (built without exception support, they would skip
  // their clean-up and leave, say, a button half pressed).
  auto guarded = [this](void (TForm1::*h)()) {
    return [this, h] {
      try {
        (this->*h)();
      } catch (const std::exception& e) {
        dialogs_->message(QStringLiteral("Ostrel"), QString::fromUtf8(e.what()), QMessageBox::Critical,
                          QMessageBox::Ok);
      }
    };
  };
  auto click = [this, guarded](QPushButton* b, void (TForm1::*h)()) {
    connect(b, &QPushButton::clicked, this, guarded(h));
  };
  // Check boxes report every change of state, by the user or by code, as a
  // click does in the toolkit these handlers were written for.
  auto toggle = [this, guarded](QCheckBox* c, void (TForm1::*h)()) {
    connect(c, &QCheckBox::toggled, this, guarded(h));
  };
  auto action = [this, guarded](QAction* a, void (TForm1::*h)()) { connect(a, &QAction::triggered, this, guarded(h)); };

  click(Butt_open_port, &TForm1::Butt_open_portClick);
  click(Butt_open_port2, &TForm1::Butt_open_port2Click);
  click(BitBtn1, &TForm1::BitBtn1Click);
  click(BitBtn2, &TForm1::BitBtn2Click);
  click(Butt_save_data, &TForm1::Butt_save_dataClick);
  click(Butt_load_data, &TForm1::Butt_load_dataClick);
  click(Butt_clear_grid, &TForm1::Butt_clear_gridClick);
  click(BitBtn8, &TForm1::BitBtn8Click);
  click(BitBtn4, &TForm1::BitBtn4Click);
  click(BitBtn3, &TForm1::BitBtn3Click);
  click(BitBtn9, &TForm1::BitBtn9Click);
  click(BitBtn10, &TForm1::BitBtn10Click);
  click(BitBtn11, &TForm1::BitBtn11Click);
  click(BitBtn12, &TForm1::BitBtn12Click);
  click(Butt_command_send, &TForm1::Butt_command_sendClick);
  click(BitBtn5, &TForm1::BitBtn5Click);
  click(BitBtn6, &TForm1::BitBtn6Click);

  toggle(CheckBox1, &TForm1::CheckBox1Click);
  toggle(checkLoop1, &TForm1::checkLoop1Click);
  toggle(checkLoop2, &TForm1::checkLoop2Click);
  toggle(checkFPbaud, &TForm1::checkFPbaudClick);
  toggle(checkModbusPort, &TForm1::checkModbusPortClick);
  toggle(Check_ascii, &TForm1::Check_asciiClick);
  toggle(Check_hex, &TForm1::Check_hexClick);

  action(Open1, &TForm1::Open1Click);
  action(Save1, &TForm1::Save1Click);
  action(Exit1, &TForm1::Exit1Click);
  action(English1, &TForm1::English1Click);
  action(Serialports1, &TForm1::Serialports1Click);
  action(About1, &TForm1::About1Click);
  action(Usermanual1, &TForm1::Usermanual1Click);

  connect(Edit_auto, &QLineEdit::textChanged, this, guarded(&TForm1::Edit_autoChange));
  connect(ComboCommand, &QComboBox::currentTextChanged, this, guarded(&TForm1::ComboCommandChange));
  connect(Timer_free_command, &TTimer::Timer, this, guarded(&TForm1::Timer_free_commandTimer));
  connect(Timer_modbus, &TTimer::Timer, this, guarded(&TForm1::Timer_modbusTimer));
  connect(Timer_auto, &TTimer::Timer, this, guarded(&TForm1::Timer_autoTimer));
  gridInputRegisters->setDrawCell([this](int c, int r, const QRect& rect, QPainter* p, const QStyleOptionViewItem& s) {
    gridInputRegistersDrawCell(c, r, rect, p, s);
  });
  // Comm1RxChar / Comm2RxChar are connected by the port code when it creates
  // the port objects.

  installDigitsFilter(Combo_com_speed, &TForm1::Combo_com_speedKeyPress);
  installDigitsFilter(Combo_stop, &TForm1::Combo_stopKeyPress);
  installDigitsFilter(Edit_timeout, &TForm1::Edit_timeoutKeyPress);
  installDigitsFilter(Combo_com2_speed, &TForm1::Combo_com2_speedKeyPress);
  installDigitsFilter(Combo_com2_stop, &TForm1::Combo_com2_stopKeyPress);
  installDigitsFilter(EditInputAddress, &TForm1::EditInputAddressKeyPress);
  installDigitsFilter(EditInputCount, &TForm1::EditInputCountKeyPress);
  installDigitsFilter(EditTimeoutModbus, &TForm1::EditTimeoutModbusKeyPress);
  installDigitsFilter(EditAddressModbus, &TForm1::EditAddressModbusKeyPress);
  installDigitsFilter(Edit_zoneDevice, &TForm1::Edit_zoneDeviceKeyPress);
  installDigitsFilter(Edit_address, &TForm1::Edit_addressKeyPress);
}

void TForm1::installDigitsFilter(QWidget* control, void (TForm1::*handler)(QChar&)) {
  auto* combo = qobject_cast<QComboBox*>(control);
  QLineEdit* edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit*>(control);
  FilterTypedCharacters(control, edit, [this, handler](QChar& key) { (this->*handler)(key); });
}

void TForm1::AddLogLine(const QString& line) { Memo_current->appendLine(line); }

void TForm1::ClearLog() { Memo_current->clearLines(); }

}  // namespace ostrel
