#include "PanelWindowView.h"

#include <QLabel>
#include <stdexcept>

#include "TForm1.h"
#include "serial/VaComm.h"

namespace ostrel {

namespace {
QString text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())); }
}  // namespace

void PanelWindowView::AddLogLine(const std::string& utf8) { form_.AddLogLine(text(utf8)); }

bool PanelWindowView::PortOpen() { return form_.fpPortOpen; }

void PanelWindowView::WritePort(const std::string& bytes) {
  // A write the port did not complete (time-out, device gone, port closed
  // under the flag) is a failed send, not a sent request.
  if (!form_.Comm1 || !form_.Comm1->WriteString(bytes))
    throw std::runtime_error("the panel port did not take the request");
}

void PanelWindowView::PurgePort() {
  if (form_.Comm1) form_.Comm1->PurgeAll();
}

void PanelWindowView::SetPanelLabel(panel::PanelLabel which, const std::string& utf8) {
  QLabel* label = which == panel::PanelLabel::CanAndModules     ? form_.Label6
                  : which == panel::PanelLabel::LoopsPowerZones ? form_.Label7
                                                                : form_.Label10;
  label->setText(text(utf8));
}

void PanelWindowView::AddLoopRow(const std::vector<std::string>& cells) {
  TStringGrid* grid = form_.gridLoops;
  const int row = grid->RowCount();
  grid->setRowCount(row + 1);
  for (int c = 0; c < grid->ColCount() && c < static_cast<int>(cells.size()); ++c)
    grid->setCells(c, row, text(cells[c]));
}

void PanelWindowView::AddDeviceRow(const std::vector<std::string>& cells) {
  // The bottom row is the empty spare row: fill it, then add a new spare.
  TStringGrid* grid = form_.GridDevices;
  const int row = grid->RowCount() - 1;
  for (int c = 0; c < grid->ColCount() && c < static_cast<int>(cells.size()); ++c)
    grid->setCells(c, row, text(cells[c]));
  grid->setRowCount(row + 2);
}

void PanelWindowView::StartTimer() { form_.Timer_free_command->setEnabled(true); }
void PanelWindowView::StopTimer() { form_.Timer_free_command->setEnabled(false); }

}  // namespace ostrel
