// The panel scan page. The sequence lives in panel::PanelScan; the handlers
// here only forward to it.
#include "ScanPage.h"

#include <QDate>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdint>

#include "Controls.h"
#include "CsvFiles.h"
#include "PanelWindowView.h"
#include "SettingsTable.h"
#include "TStringGrid.h"
#include "TTimer.h"
#include "TUpDown.h"
#include "WindowHost.h"
#include "common/ReadPieces.h"
#include "core/FileNames.h"
#include "core/PortSetup.h"
#include "panel/PanelScan.h"
#include "serial/VaComm.h"

namespace ostrel {

// The scan and the view of this page it reports through.
struct ScanPage::PanelLink {
  PanelLink(ScanPage& page, WindowHost& host) : view(page, host), scan(view) {}
  PanelWindowView view;
  panel::PanelScan scan;
};

namespace {

LinkBoxPlan panelLinkPlan(ScanPage& page) {
  return {"GroupBox1",
          "Label1",
          "Combo_com_name",
          "Label2",
          "Combo_com_speed",
          "Label3",
          "Combo_com_parity",
          "Label12",
          "Combo_stop",
          "CB_open_port",
          "Butt_open_port",
          "Automatically Open on startup",
          {"300", "1200", "2400", "4800", "9600", "19200"},
          {5, 6, 5, 1},
          LinkBoxPlan::Layout::Row,
          0,
          kPanelLineDefaults,
          "Serial port closed",
          false,
          "Ostrel's panel link",
          [&page](QChar& k) { page.Combo_com_speedKeyPress(k); },
          [&page](QChar& k) { page.Combo_stopKeyPress(k); },
          [&page] { page.Butt_open_portClick(); },
          [&page] { page.Comm1RxChar(); }};
}

}  // namespace

ScanPage::ScanPage(QWidget* page, WindowHost& host, CsvFiles& files, std::shared_ptr<serial::TVaMainThreadSync> sync)
    : host_(host), files_(files), link_(page, host, panelLinkPlan(*this), std::move(sync)) {
  build(page);
  Timer_free_command = new TTimer(QStringLiteral("Timer_free_command"), 5, true, page);
  wire();
}

ScanPage::~ScanPage() = default;

void ScanPage::build(QWidget* page) {
  auto* v = new QVBoxLayout(page);
  // Port settings across the top, scan buttons on the right.
  auto* top = new QHBoxLayout;
  buildResponseTimeout();
  top->addWidget(link_.box());
  auto* scan = new QVBoxLayout;
  BitBtn1 = MakeButton(page, "BitBtn1", "Scan local FP", QStyle::SP_BrowserReload);
  BitBtn2 = MakeButton(page, "BitBtn2", "STOP", QStyle::SP_BrowserStop);
  BitBtn1->setMinimumWidth(120);
  BitBtn2->setMinimumWidth(120);
  scan->addWidget(BitBtn1);
  scan->addWidget(BitBtn2);
  scan->addStretch();
  top->addLayout(scan);
  top->addStretch();
  v->addLayout(top);
  buildLoopTable(page, v);
}

// The response time-out sits in the link box, hidden and disabled: it is kept
// in the settings file only.
void ScanPage::buildResponseTimeout() {
  QWidget* box = link_.box();
  Label8 = MakeLabel(box, "Label8", "Resp. timeout");
  Edit_timeout = MakeEdit(box, "Edit_timeout", "300", 4);
  UD_timeout = new TUpDown(QStringLiteral("UD_timeout"), Edit_timeout, 300, 9900, 300, 1);
  Label9 = MakeLabel(box, "Label9", "ms");
  link_.place(Label8, 0, 4);
  link_.place(SpinPair(box, Edit_timeout, UD_timeout, 48), 1, 4);
  link_.place(Label9, 1, 5);
  for (QWidget* w :
       {static_cast<QWidget*>(Label8), static_cast<QWidget*>(Edit_timeout), static_cast<QWidget*>(UD_timeout)}) {
    w->setEnabled(false);
  }
  Label8->hide();
  Edit_timeout->parentWidget()->hide();  // the edit box and its up-down
  Edit_timeout->hide();
  UD_timeout->hide();
  Label9->hide();
}

// The loop table with the panel information beside it.
void ScanPage::buildLoopTable(QWidget* page, QVBoxLayout* v) {
  auto* mid = new QHBoxLayout;
  gridLoops = new TStringGrid(QStringLiteral("gridLoops"), 6, 1, 0, 1, {64, 81, 81, 81, 93, 109}, page);
  gridLoops->setFixedWidth(gridLoops->ColumnsWidth() + 2 * gridLoops->frameWidth() + 2);
  gridLoops->setFixedHeight(3 * 18 + 2 * gridLoops->frameWidth() + 2);
  mid->addWidget(gridLoops);
  auto* info = new QVBoxLayout;
  Label6 = MakeLabel(page, "Label6", "Label6");
  Label7 = MakeLabel(page, "Label7", "Label7");
  Label10 = MakeLabel(page, "Label10", "Label10");
  Label11 = MakeLabel(page, "Label11", "Label11");
  for (QLabel* l : {Label6, Label7, Label10, Label11}) {
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    info->addWidget(l);
  }
  info->addStretch();
  mid->addLayout(info, 1);
  v->addLayout(mid);
  buildDeviceTable(page, v);
}

// The device table with its Load, Save and "Clear table" buttons below it.
void ScanPage::buildDeviceTable(QWidget* page, QVBoxLayout* v) {
  GridDevices =
      new TStringGrid(QStringLiteral("GridDevices"), 11, 2, 1, 1, {64, 62, 66, 60, 82, 89, 61, 58, 66, 52, 72}, page);
  GridDevices->setSelectionBehavior(QAbstractItemView::SelectRows);
  v->addWidget(GridDevices, 1);

  auto* bottom = new QHBoxLayout;
  Butt_load_data = MakeButton(page, "Butt_load_data", "Load", QStyle::SP_DialogOpenButton);
  Butt_save_data = MakeButton(page, "Butt_save_data", "Save", QStyle::SP_DialogSaveButton);
  Butt_clear_grid = MakeButton(page, "Butt_clear_grid", "Clear table");
  bottom->addWidget(Butt_load_data);
  bottom->addWidget(Butt_save_data);
  bottom->addStretch();
  bottom->addWidget(Butt_clear_grid);
  v->addLayout(bottom);
  files_.placeStaging(page);
}

void ScanPage::wire() {
  for (auto [button, handler] :
       {std::pair{BitBtn1, &ScanPage::BitBtn1Click}, std::pair{BitBtn2, &ScanPage::BitBtn2Click},
        std::pair{Butt_save_data, &ScanPage::Butt_save_dataClick},
        std::pair{Butt_load_data, &ScanPage::Butt_load_dataClick},
        std::pair{Butt_clear_grid, &ScanPage::Butt_clear_gridClick}})
    QObject::connect(button, &QPushButton::clicked, button, host_.guarded(this, handler));
  QObject::connect(Timer_free_command, &TTimer::Timer, Timer_free_command,
                   host_.guarded(this, &ScanPage::Timer_free_commandTimer));
  FilterDigits(Edit_timeout, [this](QChar& k) { Edit_timeoutKeyPress(k); });
}

panel::PanelScan& ScanPage::scan() {
  if (!panelLink_) panelLink_ = std::make_unique<PanelLink>(*this, host_);
  return panelLink_->scan;
}

// ---- what the scan shows ----

void ScanPage::setPanelInfo(panel::PanelLabel which, const QString& text) {
  QLabel* label = which == panel::PanelLabel::CanAndModules     ? Label6
                  : which == panel::PanelLabel::LoopsPowerZones ? Label7
                                                                : Label10;
  label->setText(text);
}

void ScanPage::addLoopRow(const QStringList& cells) {
  const int row = gridLoops->RowCount();
  gridLoops->setRowCount(row + 1);
  for (int c = 0; c < gridLoops->ColCount() && c < cells.size(); ++c) gridLoops->setCells(c, row, cells[c]);
}

void ScanPage::addDeviceRow(const QStringList& cells) {
  // The bottom row is the empty spare row: fill it, then add a new spare.
  const int row = GridDevices->RowCount() - 1;
  for (int c = 0; c < GridDevices->ColCount() && c < cells.size(); ++c) GridDevices->setCells(c, row, cells[c]);
  GridDevices->setRowCount(row + 2);
}

void ScanPage::setScanTimer(bool on) { Timer_free_command->setEnabled(on); }

// ---- handlers ----

void ScanPage::Butt_open_portClick() { link_.toggle(); }

void ScanPage::BitBtn1Click() { scan().StartScan(); }

void ScanPage::BitBtn2Click() { scan().StopScan(); }

void ScanPage::Comm1RxChar() {
  // Everything waiting now, in reads of at most 1024 bytes; bytes that arrive
  // meanwhile stay in the port for its next event.
  serial::TVaComm& port = link_.port();
  const int32_t waiting = port.InputCount();
  if (waiting <= 0) return;
  scan().CollectReply(static_cast<size_t>(waiting), ReaderOf(port));
}

void ScanPage::Timer_free_commandTimer() { scan().Tick(); }

void ScanPage::Butt_save_dataClick() {
  const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  files_.save(*GridDevices, QString::fromStdString(SuggestedDeviceFileName(date.toStdString())));
}

void ScanPage::Butt_load_dataClick() {
  const std::optional<QString> file = files_.chooseToLoad();
  if (!file) return;
  Butt_clear_gridClick();
  files_.load(*file, *GridDevices);
}

void ScanPage::Butt_clear_gridClick() {
  // Every cell below the header row becomes empty and the table is left with
  // its header row and one empty spare row. Rows past row 1 are removed
  // first: a removed row's cells are gone, and rows added later start empty.
  GridDevices->setRowCount(2);
  for (int c = 0; c < GridDevices->ColCount(); ++c)
    if (!GridDevices->Cells(c, 1).isEmpty()) GridDevices->setCells(c, 1, QString());
}

void ScanPage::Combo_com_speedKeyPress(QChar& Key) { DigitsOnly(Key); }
void ScanPage::Combo_stopKeyPress(QChar& Key) { DigitsOnly(Key); }
void ScanPage::Edit_timeoutKeyPress(QChar& Key) { DigitsOnly(Key); }

// ---- settings and texts ----

void ScanPage::applySettings(const WindowSettings& s) {
  link_.apply(s.panelLink);
  UD_timeout->setPosition(SpinPosition(s.responseTimeout));
}

void ScanPage::collectSettings(WindowSettings& s) const {
  s.panelLink = link_.settings();
  s.responseTimeout = UD_timeout->Position();
}

void ScanPage::setEnglishTexts() {
  static const char* const loops[] = {"Контур ", "Брой у-ва ", "Max mA ", "Вкл./Изкл. ", "Адресация "};
  static const char* const devices[] = {" ",      "ID ",   "Тип ",    "Стар No. ", "No. следващо ", "No. предходно ",
                                        "Ветви ", "Зона ", "Статус ", "Флагове ",  "Modbus "};
  for (int c = 0; c < 5; ++c) gridLoops->setCells(c, 0, QString::fromUtf8(loops[c]));
  for (int c = 0; c < 11; ++c) GridDevices->setCells(c, 0, QString::fromUtf8(devices[c]));
  link_.setEnglishTexts();
  Label8->setText(QStringLiteral("Resp. timeout"));
  Butt_clear_grid->setText(QStringLiteral("Clear table"));
  Butt_load_data->setText(QStringLiteral("Load"));
  Butt_save_data->setText(QStringLiteral("Save"));
}

void ScanPage::clearPanelInfo() {
  for (QLabel* l : {Label6, Label7, Label10, Label11}) l->clear();
}

}  // namespace ostrel
