// The log pane and the custom command.
#include <QCheckBox>

#include "TForm1.h"

namespace ostrel {

// The two mode boxes form a pair: a click on either switches the mode, so
// exactly one of them stays checked.
void TForm1::Check_asciiClick() { Check_hex->setChecked(!Check_ascii->isChecked()); }
void TForm1::Check_hexClick() { Check_ascii->setChecked(!Check_hex->isChecked()); }

void TForm1::Butt_command_sendClick() {}
void TForm1::BitBtn5Click() {}
void TForm1::BitBtn6Click() {}

}  // namespace ostrel
