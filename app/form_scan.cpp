// The panel scan over the panel's RS-232 link.
#include "TForm1.h"

namespace ostrel {

void TForm1::BitBtn1Click() {}
void TForm1::BitBtn2Click() {}
void TForm1::Comm1RxChar() {}
void TForm1::Timer_free_commandTimer() {}

}  // namespace ostrel
