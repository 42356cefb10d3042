#pragma once
// The panel scan's view of the window: the log pane, the panel link, the
// three panel labels, the loop and device tables and the 5 ms scan timer, all
// on the scan page. The scan itself knows nothing of Qt.
#include "panel/PanelLinkView.h"

namespace ostrel {

class ScanPage;
class WindowHost;

class PanelWindowView : public panel::PanelLinkView {
 public:
  PanelWindowView(ScanPage& page, WindowHost& host) : page_(page), host_(host) {}

  void AddLogLine(const std::string& utf8) override;
  bool PortOpen() override;
  // Throws when the port reports an error or takes fewer bytes than given.
  void WritePort(const std::string& bytes) override;
  void PurgePort() override;
  void SetPanelLabel(panel::PanelLabel which, const std::string& utf8) override;
  void AddLoopRow(const std::vector<std::string>& cells) override;
  void AddDeviceRow(const std::vector<std::string>& cells) override;
  void StartTimer() override;
  void StopTimer() override;

 private:
  ScanPage& page_;
  WindowHost& host_;
};

}  // namespace ostrel
