// The panel scan over the panel's RS-232 link. The sequence lives in
// panel::PanelScan; the handlers here only forward to it.
#include <cstdint>
#include <string>

#include "PanelWindowView.h"
#include "TForm1.h"
#include "common/ReadPieces.h"
#include "core/PortSetup.h"
#include "serial/VaComm.h"

namespace ostrel {

void TForm1::PanelLinkDeleter::operator()(PanelLink* link) const { delete link; }

TForm1::PanelLink& TForm1::panelLink() {
  if (!panelLink_) panelLink_.reset(new PanelLink(*this));
  return *panelLink_;
}

void TForm1::BitBtn1Click() { panelLink().scan.StartScan(); }

void TForm1::BitBtn2Click() { panelLink().scan.StopScan(); }

void TForm1::Comm1RxChar() {
  // Everything waiting now, in reads of at most 1024 bytes; bytes that arrive
  // meanwhile stay in the port for its next event.
  const int32_t waiting = Comm1->InputCount();
  if (waiting <= 0) return;
  panelLink().scan.CollectReply(static_cast<size_t>(waiting), ReaderOf(*Comm1));
}

void TForm1::Timer_free_commandTimer() { panelLink().scan.Tick(); }

}  // namespace ostrel
