// The main window's frame: the pages, the log pane, the status bar and the
// menu, and what the rooms ask of the window.
#include "TForm1.h"

#include <QMenuBar>
#include <QMessageBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "CsvFiles.h"
#include "LogPane.h"
#include "ModbusPage.h"
#include "ProgramFolder.h"
#include "QtMainThreadSync.h"
#include "ScanPage.h"
#include "TStatusBar.h"

namespace ostrel {

TForm1* Form1 = nullptr;

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
  buildRooms();
  StatusBar1 = new TStatusBar(QStringLiteral("StatusBar1"), {200, 200, 300, 50}, this);
  setStatusBar(StatusBar1);
  buildMenu();
  wireMenu();
  PageControl1->setCurrentWidget(TabSheet2);
  // Sized to fit its contents, never below the design size.
  const QSize hint = sizeHint();
  resize(qMax(hint.width(), 881), qMax(hint.height(), 665));
  FormCreate();
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
  // The controls go while the rooms are still whole: their key filters call
  // the rooms' handlers, and a control may still get an event (focus, input
  // method) as it is deleted. The rooms, and the ports they hold, go after.
  delete centralWidget();
}

void TForm1::buildRooms() {
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

  // Both ports hand their events to this window's event loop.
  auto sync = std::make_shared<QtMainThreadSync>();
  files_ = std::make_unique<CsvFiles>(this, *this);
  scan_ = std::make_unique<ScanPage>(TabSheet1, *this, *files_, sync);
  modbus_ = std::make_unique<ModbusPage>(TabSheet2, *this, *files_, sync);
  log_ = std::make_unique<LogPane>(central, *this, programFolder_);
  log_->sendCommandsOver(scan_->link());
  v->addWidget(log_->widget());
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

void TForm1::wireMenu() {
  for (auto [action, handler] :
       {std::pair{Open1, &TForm1::Open1Click}, std::pair{Save1, &TForm1::Save1Click},
        std::pair{Exit1, &TForm1::Exit1Click}, std::pair{English1, &TForm1::English1Click},
        std::pair{Serialports1, &TForm1::Serialports1Click}, std::pair{About1, &TForm1::About1Click},
        std::pair{Usermanual1, &TForm1::Usermanual1Click}})
    connect(action, &QAction::triggered, this, guarded(this, handler));
}

void TForm1::AddLogLine(const QString& line) { log_->AddLogLine(line); }

void TForm1::showStatus(int panel, const QString& text) { StatusBar1->setPanelText(panel, text); }

void TForm1::reportError(const std::exception& e) {
  dialogs_->message(QStringLiteral("Ostrel"), QString::fromUtf8(e.what()), QMessageBox::Critical, QMessageBox::Ok);
}

SerialLinkBox& TForm1::panelLinkBox() { return scan_->link(); }
SerialLinkBox& TForm1::modbusLinkBox() { return modbus_->link(); }

std::vector<OwnUse> TForm1::OwnPortUse() const {
  std::vector<OwnUse> use;
  for (const SerialLinkBox* link : {&scan_->link(), &modbus_->link()})
    if (auto own = link->ownUse()) use.push_back(*own);
  return use;
}

}  // namespace ostrel
