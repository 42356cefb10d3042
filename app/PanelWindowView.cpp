#include "PanelWindowView.h"

#include <QStringList>
#include <stdexcept>

#include "ScanPage.h"
#include "WindowHost.h"
#include "serial/VaComm.h"

namespace ostrel {

namespace {
QString text(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())); }

QStringList texts(const std::vector<std::string>& cells) {
  QStringList list;
  for (const std::string& cell : cells) list << text(cell);
  return list;
}
}  // namespace

void PanelWindowView::AddLogLine(const std::string& utf8) { host_.AddLogLine(text(utf8)); }

bool PanelWindowView::PortOpen() { return page_.link().isOpen(); }

void PanelWindowView::WritePort(const std::string& bytes) {
  // A write the port did not complete (time-out, device gone, port closed
  // under the flag) is a failed send, not a sent request.
  if (!page_.link().port().WriteString(bytes)) throw std::runtime_error("the panel port did not take the request");
}

void PanelWindowView::PurgePort() { page_.link().port().PurgeAll(); }

void PanelWindowView::SetPanelLabel(panel::PanelLabel which, const std::string& utf8) {
  page_.setPanelInfo(which, text(utf8));
}

void PanelWindowView::AddLoopRow(const std::vector<std::string>& cells) { page_.addLoopRow(texts(cells)); }

void PanelWindowView::AddDeviceRow(const std::vector<std::string>& cells) { page_.addDeviceRow(texts(cells)); }

void PanelWindowView::StartTimer() { page_.setScanTimer(true); }
void PanelWindowView::StopTimer() { page_.setScanTimer(false); }

}  // namespace ostrel
