#pragma once
// What the panel link needs of the main window: the log pane, the panel port,
// the three panel labels, the loop and device tables and the scan timer.
// All texts are UTF-8; the window converts them for its controls.
#include <string>
#include <vector>

namespace ostrel::panel {

// The three lines of panel information beside the loop table.
enum class PanelLabel {
  CanAndModules,    // the CAN bus and the modules fitted (or a refused request)
  LoopsPowerZones,  // the number of loops, mains power, the number of zones
  LanguageAndMode,  // the panel's language and its day or night mode
};

class PanelLinkView {
 public:
  virtual ~PanelLinkView() = default;

  // Appends one whole line to the log pane.
  virtual void AddLogLine(const std::string& utf8) = 0;

  // True exactly while the panel port is connected.
  virtual bool PortOpen() = 0;
  // Writes all bytes to the panel port. Throws on a port error; the caller
  // reports it.
  virtual void WritePort(const std::string& bytes) = 0;
  // Empties the panel port's input and output queues.
  virtual void PurgePort() = 0;

  virtual void SetPanelLabel(PanelLabel which, const std::string& utf8) = 0;
  // Adds a row at the bottom of the loop table (its row 0 is an ordinary row
  // holding the headers) and fills it with these cells.
  virtual void AddLoopRow(const std::vector<std::string>& cells) = 0;
  // Fills the spare empty bottom row of the device table with these cells
  // and then adds a new empty row below it.
  virtual void AddDeviceRow(const std::vector<std::string>& cells) = 0;

  // The 5 ms scan timer. Starting a running timer changes nothing.
  virtual void StartTimer() = 0;
  virtual void StopTimer() = 0;
};

}  // namespace ostrel::panel
