// The log pane and the custom command.
#include <QCheckBox>
#include <QLineEdit>

#include "LogPane.h"
#include "TForm1.h"
#include "core/CustomCommand.h"
#include "core/FileIo.h"
#include "core/LogFile.h"
#include "serial/VaComm.h"

namespace ostrel {

// The two mode boxes form a pair: a click on either switches the mode, so
// exactly one of them stays checked.
void TForm1::Check_asciiClick() { Check_hex->setChecked(!Check_ascii->isChecked()); }
void TForm1::Check_hexClick() { Check_ascii->setChecked(!Check_hex->isChecked()); }

void TForm1::Butt_command_sendClick() {
  if (!fpPortOpen) {
    AddLogLine(QString::fromLatin1(kPortNotOpenedLine));
    return;
  }
  const std::string text = Edit_command->text().toStdString();
  if (text.empty()) return;
  if (Check_ascii->isChecked()) {
    Comm1->WriteString(CustomAsciiBytes(text));
    return;
  }
  // The whole text is checked before the first byte goes out, so a refused
  // text sends nothing.
  const CustomHexCommand cmd = ParseCustomHex(text);
  if (!cmd.error.empty()) {
    AddLogLine(QString::fromStdString(cmd.error));
    return;
  }
  for (std::uint8_t b : cmd.bytes) Comm1->WriteByte(b);
}

void TForm1::BitBtn5Click() { ClearLog(); }

bool TForm1::logUntouchedSinceStart() const { return Memo_current->untouchedSinceStart(); }

bool TForm1::logHoldsNoLine() const { return Memo_current->clearedByProgram(); }

std::string TForm1::logPlainText() const { return Memo_current->plainTextWithCrs(); }

void TForm1::BitBtn6Click() {
  const std::string path = programFolder().toStdString() + "/files/log.txt";
  const std::string bytes = LogFileBytes(LogPaneLines(logPlainText(), logUntouchedSinceStart()));
  // The "files" folder is not created: without it the save fails and says so.
  if (!WriteFileAtomically(path, bytes)) AddLogLine(QString::fromLatin1(kLogFileNoRightsLine));
}

}  // namespace ostrel
