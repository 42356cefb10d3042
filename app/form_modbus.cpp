// The Modbus register read-out and its automatic polling.
#include "TForm1.h"

namespace ostrel {

void TForm1::BitBtn3Click() {}
void TForm1::BitBtn4Click() {}
void TForm1::Comm2RxChar() {}
void TForm1::Timer_modbusTimer() {}
void TForm1::Timer_autoTimer() {}
void TForm1::CheckBox1Click() {}
void TForm1::Edit_autoChange() {}
void TForm1::gridInputRegistersDrawCell(int ACol, int ARow, const QRect& Rect, QPainter* painter,
                                        const QStyleOptionViewItem& State) {}

}  // namespace ostrel
