// The panel commands sent over Modbus.
#include "TForm1.h"

namespace ostrel {

void TForm1::ComboCommandChange() {}
void TForm1::checkLoop1Click() {}
void TForm1::checkLoop2Click() {}
void TForm1::checkFPbaudClick() {}
void TForm1::checkModbusPortClick() {}
void TForm1::BitBtn9Click() {}
void TForm1::BitBtn10Click() {}
void TForm1::BitBtn11Click() {}
void TForm1::BitBtn12Click() {}

}  // namespace ostrel
