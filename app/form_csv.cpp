// The device table's and the register table's CSV files.
#include "TForm1.h"

namespace ostrel {

void TForm1::Butt_save_dataClick() {}
void TForm1::Butt_load_dataClick() {}
void TForm1::Butt_clear_gridClick() {}
void TForm1::Open1Click() {}
void TForm1::Save1Click() {}
void TForm1::BitBtn8Click() {}

}  // namespace ostrel
