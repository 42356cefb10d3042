// The log pane and the custom command.
#include "LogPane.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "Controls.h"
#include "LogMemo.h"
#include "SerialLinkBox.h"
#include "WindowHost.h"
#include "core/CustomCommand.h"
#include "core/FileIo.h"
#include "core/LogFile.h"
#include "serial/VaComm.h"

namespace ostrel {

LogPane::LogPane(QWidget* parent, WindowHost& host, QString programFolder)
    : host_(host), programFolder_(std::move(programFolder)) {
  build(parent);
  wire();
}

void LogPane::build(QWidget* parent) {
  area_ = new QWidget(parent);
  area_->setObjectName(QStringLiteral("logArea"));
  auto* h = new QHBoxLayout(area_);
  h->setContentsMargins(0, 0, 0, 0);
  Memo_current = new LogMemo(area_);
  Memo_current->setObjectName(QStringLiteral("Memo_current"));
  Memo_current->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo_current->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo_current->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Memo_current->setMinimumHeight(150);
  Memo_current->setPlainText(QString());  // one empty line
  h->addWidget(Memo_current, 1);
  auto* right = new QHBoxLayout;
  right->addLayout(buildLogButtons());
  right->addLayout(buildCustomCommand(), 1);
  h->addLayout(right, 1);
}

QLayout* LogPane::buildLogButtons() {
  auto* column = new QVBoxLayout;
  BitBtn7 = MakeButton(area_, "BitBtn7", "Print");
  BitBtn7->setEnabled(false);
  BitBtn6 = MakeButton(area_, "BitBtn6", "Save log", QStyle::SP_DialogSaveButton);
  BitBtn5 = MakeButton(area_, "BitBtn5", "Clear log", QStyle::SP_DialogResetButton);
  column->addWidget(BitBtn7);
  column->addWidget(BitBtn6);
  column->addStretch();
  column->addWidget(BitBtn5);
  return column;
}

QLayout* LogPane::buildCustomCommand() {
  auto* custom = new QVBoxLayout;
  auto* head = new QHBoxLayout;
  Label4 = MakeLabel(area_, "Label4", "Send custom command");
  Check_ascii = MakeCheck(area_, "Check_ascii", "ASCII");
  Check_hex = MakeCheck(area_, "Check_hex", "Hex");
  head->addWidget(Label4);
  head->addWidget(Check_ascii);
  head->addWidget(Check_hex);
  head->addStretch();
  custom->addLayout(head);
  Edit_command = MakeEdit(area_, "Edit_command", QString(), 250);
  custom->addWidget(Edit_command);
  custom->addStretch();
  Butt_command_send = MakeButton(area_, "Butt_command_send", "Send");
  auto* sendRow = new QHBoxLayout;
  sendRow->addStretch();
  sendRow->addWidget(Butt_command_send);
  custom->addLayout(sendRow);
  return custom;
}

void LogPane::wire() {
  for (auto [button, handler] :
       {std::pair{Butt_command_send, &LogPane::Butt_command_sendClick}, std::pair{BitBtn5, &LogPane::BitBtn5Click},
        std::pair{BitBtn6, &LogPane::BitBtn6Click}})
    QObject::connect(button, &QPushButton::clicked, button, host_.guarded(this, handler));
  for (auto [check, handler] :
       {std::pair{Check_ascii, &LogPane::Check_asciiClick}, std::pair{Check_hex, &LogPane::Check_hexClick}})
    QObject::connect(check, &QCheckBox::toggled, check, host_.guarded(this, handler));
}

void LogPane::AddLogLine(const QString& line) { Memo_current->appendLine(line); }

void LogPane::ClearLog() { Memo_current->clearLines(); }

bool LogPane::logHoldsNoLine() const { return Memo_current->clearedByProgram(); }

bool LogPane::logUntouchedSinceStart() const { return Memo_current->untouchedSinceStart(); }

std::string LogPane::logPlainText() const { return Memo_current->plainTextWithCrs(); }

void LogPane::BitBtn5Click() { ClearLog(); }

void LogPane::BitBtn6Click() {
  const std::string path = programFolder_.toStdString() + "/files/log.txt";
  const std::string bytes = Memo_current->logFileBytes();
  // The "files" folder is not created: without it the save fails and says so.
  if (!WriteFileAtomically(path, bytes)) AddLogLine(QString::fromLatin1(kLogFileNoRightsLine));
}

// The two mode boxes form a pair: a click on either switches the mode, so
// exactly one of them stays checked.
void LogPane::Check_asciiClick() { Check_hex->setChecked(!Check_ascii->isChecked()); }
void LogPane::Check_hexClick() { Check_ascii->setChecked(!Check_hex->isChecked()); }

void LogPane::Butt_command_sendClick() {
  if (!commandLink_ || !commandLink_->isOpen()) {
    AddLogLine(QString::fromLatin1(kPortNotOpenedLine));
    return;
  }
  serial::TVaComm& port = commandLink_->port();
  const std::string text = Edit_command->text().toStdString();
  if (text.empty()) return;
  if (Check_ascii->isChecked()) {
    port.WriteString(CustomAsciiBytes(text));
    return;
  }
  // The whole text is checked before the first byte goes out, so a refused
  // text sends nothing.
  const CustomHexCommand cmd = ParseCustomHex(text);
  if (!cmd.error.empty()) {
    AddLogLine(QString::fromStdString(cmd.error));
    return;
  }
  for (std::uint8_t b : cmd.bytes) port.WriteByte(b);
}

void LogPane::startInHexMode() { Check_hex->setChecked(true); }

void LogPane::setEnglishTexts() {
  Butt_command_send->setText(QStringLiteral("Send"));
  Label4->setText(QStringLiteral("Send custom command"));
  BitBtn7->setText(QStringLiteral("Print"));
  BitBtn6->setText(QStringLiteral("Save log"));
  BitBtn5->setText(QStringLiteral("Clear log"));
}

}  // namespace ostrel
