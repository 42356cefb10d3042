#pragma once
// The panel scan's view of the main window: the log pane, the panel port
// Comm1, the three panel labels, the loop and device tables and the 5 ms scan
// timer. The scan itself knows nothing of Qt.
#include "TForm1.h"
#include "panel/PanelLinkView.h"
#include "panel/PanelScan.h"

namespace ostrel {

class PanelWindowView : public panel::PanelLinkView {
 public:
  explicit PanelWindowView(TForm1& form) : form_(form) {}

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
  TForm1& form_;
};

// What the window keeps for the panel scan: the adapter and the one scan
// that reports through it.
struct TForm1::PanelLink {
  explicit PanelLink(TForm1& form) : view(form), scan(view) {}
  PanelWindowView view;
  panel::PanelScan scan;
};

}  // namespace ostrel
