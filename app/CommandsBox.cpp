// The panel commands sent over Modbus.
#include "CommandsBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <utility>

#include "Controls.h"
#include "TUpDown.h"
#include "TypedInput.h"
#include "WindowHost.h"
#include "core/CommandCaptions.h"
#include "modbus/commands.h"
#include "modbus/frames.h"
#include "modbus/readout.h"

namespace ostrel {
namespace {

QStringList commandCaptions() {
  QStringList captions;
  for (const auto& c : kCommandCaptions) captions << QString::fromLatin1(c.caption);
  return captions;
}

}  // namespace

CommandsBox::CommandsBox(QWidget* page, WindowHost& host, CommandTarget target)
    : host_(host), target_(std::move(target)) {
  build(page);
  layOut();
  wire();
}

void CommandsBox::build(QWidget* page) {
  GroupBox3 = new QGroupBox(QStringLiteral("   Commands   "), page);
  GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
  QWidget* b = GroupBox3;
  Label21 = MakeLabel(b, "Label21", "Panel #");
  Edit_panelNumber = MakeEdit(b, "Edit_panelNumber", "0", 2, true);
  UD_panelNumber = new TUpDown(QStringLiteral("UD_panelNumber"), Edit_panelNumber, 0, 13, 0, 1);
  Label23 = MakeLabel(b, "Label23", "Command to perform");
  ComboCommand = MakeCombo(b, "ComboCommand", commandCaptions(), 0);
  Label22 = MakeLabel(b, "Label22", "Zone/Device");
  Edit_zoneDevice = MakeEdit(b, "Edit_zoneDevice", "1", 3, true);
  UD_zoneDevice = new TUpDown(QStringLiteral("UD_zoneDevice"), Edit_zoneDevice, 1, 251, 1, 1);
  checkLoop1 = MakeCheck(b, "checkLoop1", "Loop 1");
  checkLoop2 = MakeCheck(b, "checkLoop2", "Loop 2");
  checkPanelEnable = MakeCheck(b, "checkPanelEnable", "En(0)/Dis(1)");
  CheckBeeper = MakeCheck(b, "CheckBeeper", "Stop Beeper", false, false);
  CheckResetFire = MakeCheck(b, "CheckResetFire", "Reset Fire", false, false);
  Check_fire2Time = MakeCheck(b, "Check_fire2Time", "Time to F2", false, false);
  CheckFire2 = MakeCheck(b, "CheckFire2", "Goto Fire2", false, false);
  CheckSiren = MakeCheck(b, "CheckSiren", "Stop/Start Siren", false, false);
  buildSending(b);
}

// The buttons that send, the automatic read-out and the line code.
void CommandsBox::buildSending(QWidget* b) {
  BitBtn9 = MakeButton(b, "BitBtn9", "Write Holding Register");
  BitBtn10 = MakeButton(b, "BitBtn10", "Set Date/Time");
  CheckBox1 = MakeCheck(b, "CheckBox1", "Automatic readout in:");
  Edit_auto = MakeEdit(b, "Edit_auto", "1", 2, true);
  UD_auto = new TUpDown(QStringLiteral("UD_auto"), Edit_auto, 1, 60, 1, 1);
  Label24 = MakeLabel(b, "Label24", "s");
  QStringList lineBauds, lineParities;
  for (const char* baud : modbus::kLineCodeBauds) lineBauds << QString::fromLatin1(baud);
  for (const auto& parity : modbus::kLineCodeParities) lineParities << QString::fromLatin1(parity.name);
  Combo_baud = MakeCombo(b, "Combo_baud", lineBauds, 0);
  Combo_parity = MakeCombo(b, "Combo_parity", lineParities, 0);
  checkFPbaud = MakeCheck(b, "checkFPbaud", "FP port");
  Label25 = MakeLabel(b, "Label25", "or");
  checkModbusPort = MakeCheck(b, "checkModbusPort", "Modbus port", true);
  BitBtn11 = MakeButton(b, "BitBtn11", "Write baud and parity");
}

void CommandsBox::layOut() {
  QWidget* b = GroupBox3;
  auto* g = new QGridLayout(b);
  int r = 0;
  g->addWidget(Label21, r, 0);
  g->addWidget(SpinPair(b, Edit_panelNumber, UD_panelNumber, 36), r++, 1);
  g->addWidget(Label23, r++, 0, 1, 2);
  g->addWidget(ComboCommand, r++, 0, 1, 2);
  g->addWidget(Label22, r, 0);
  g->addWidget(SpinPair(b, Edit_zoneDevice, UD_zoneDevice, 44), r++, 1);
  g->addWidget(checkLoop1, r, 0);
  g->addWidget(checkLoop2, r++, 1);
  g->addWidget(checkPanelEnable, r++, 0, 1, 2);
  g->addWidget(CheckBeeper, r, 0);
  g->addWidget(CheckResetFire, r++, 1);
  g->addWidget(Check_fire2Time, r, 0);
  g->addWidget(CheckFire2, r++, 1);
  g->addWidget(CheckSiren, r++, 0, 1, 2);
  layOutSending(g, r);
}

void CommandsBox::layOutSending(QGridLayout* g, int r) {
  QWidget* b = GroupBox3;
  g->addWidget(BitBtn9, r++, 0, 1, 2);
  g->addWidget(BitBtn10, r++, 0, 1, 2);
  auto* autoRow = new QHBoxLayout;
  autoRow->addWidget(CheckBox1);
  autoRow->addWidget(SpinPair(b, Edit_auto, UD_auto, 30));
  autoRow->addWidget(Label24);
  autoRow->addStretch();
  g->addLayout(autoRow, r++, 0, 1, 2);
  g->addWidget(Combo_baud, r, 0);
  g->addWidget(Combo_parity, r++, 1);
  auto* portRow = new QHBoxLayout;
  portRow->addWidget(checkFPbaud);
  portRow->addWidget(Label25);
  portRow->addWidget(checkModbusPort);
  portRow->addStretch();
  g->addLayout(portRow, r++, 0, 1, 2);
  g->addWidget(BitBtn11, r++, 0, 1, 2);
  g->setRowStretch(r, 1);
}

void CommandsBox::wire() {
  for (auto [button, handler] :
       {std::pair{BitBtn9, &CommandsBox::BitBtn9Click}, std::pair{BitBtn10, &CommandsBox::BitBtn10Click},
        std::pair{BitBtn11, &CommandsBox::BitBtn11Click}})
    QObject::connect(button, &QPushButton::clicked, GroupBox3, host_.guarded(this, handler));
  // Check boxes report every change of state, by the user or by code, as a
  // click does in the toolkit these handlers were written for.
  for (auto [check, handler] :
       {std::pair{CheckBox1, &CommandsBox::CheckBox1Click}, std::pair{checkLoop1, &CommandsBox::checkLoop1Click},
        std::pair{checkLoop2, &CommandsBox::checkLoop2Click}, std::pair{checkFPbaud, &CommandsBox::checkFPbaudClick},
        std::pair{checkModbusPort, &CommandsBox::checkModbusPortClick}})
    QObject::connect(check, &QCheckBox::toggled, GroupBox3, host_.guarded(this, handler));
  QObject::connect(Edit_auto, &QLineEdit::textChanged, GroupBox3, host_.guarded(this, &CommandsBox::Edit_autoChange));
  QObject::connect(ComboCommand, &QComboBox::currentTextChanged, GroupBox3,
                   host_.guarded(this, &CommandsBox::ComboCommandChange));
  FilterDigits(Edit_zoneDevice, [this](QChar& k) { Edit_zoneDeviceKeyPress(k); });
}

bool CommandsBox::automaticReadout() const { return CheckBox1->isChecked(); }

void CommandsBox::ComboCommandChange() {
  const modbus::CommandEnables e = modbus::CommandChanged(CommandOfCaption(ComboCommand->currentText().toStdString()));
  for (QWidget* w :
       {static_cast<QWidget*>(CheckBeeper), static_cast<QWidget*>(CheckResetFire), static_cast<QWidget*>(CheckFire2),
        static_cast<QWidget*>(CheckSiren), static_cast<QWidget*>(Check_fire2Time)})
    w->setEnabled(e.generalBoxes);
  for (QWidget* w : {static_cast<QWidget*>(checkPanelEnable), static_cast<QWidget*>(checkLoop1),
                     static_cast<QWidget*>(checkLoop2), static_cast<QWidget*>(UD_zoneDevice)})
    w->setEnabled(e.targetControls);
}

// Each pair holds exactly one checked box once either was clicked. Setting
// the partner reports its own change too; that second pass changes nothing.
void CommandsBox::checkLoop1Click() { checkLoop2->setChecked(modbus::PartnerAfterClick(checkLoop1->isChecked())); }
void CommandsBox::checkLoop2Click() { checkLoop1->setChecked(modbus::PartnerAfterClick(checkLoop2->isChecked())); }
void CommandsBox::checkFPbaudClick() {
  checkModbusPort->setChecked(modbus::PartnerAfterClick(checkFPbaud->isChecked()));
}
void CommandsBox::checkModbusPortClick() {
  checkFPbaud->setChecked(modbus::PartnerAfterClick(checkModbusPort->isChecked()));
}

void CommandsBox::BitBtn9Click() {
  modbus::CommandControls c;
  c.panelNumber = UD_panelNumber->Position();
  c.command = CommandOfCaption(ComboCommand->currentText().toStdString());
  c.panelDisable = checkPanelEnable->isChecked();
  c.zoneDevice = UD_zoneDevice->Position();
  c.loop1 = checkLoop1->isChecked();
  c.loop2 = checkLoop2->isChecked();
  c.beeper = CheckBeeper->isChecked();
  c.resetFire = CheckResetFire->isChecked();
  c.fire2 = CheckFire2->isChecked();
  c.fire2Time = Check_fire2Time->isChecked();
  c.siren = CheckSiren->isChecked();
  target_.master().WriteHoldingRegister(target_.portOpen(), target_.slave(), c);
}

void CommandsBox::BitBtn10Click() {
  target_.master().SetDateTime(target_.portOpen(), target_.slave(), modbus::LocalClockNow());
}

void CommandsBox::BitBtn11Click() {
  modbus::LineControls c;
  c.baud = Combo_baud->currentText().toStdString();
  c.parity = Combo_parity->currentText().toStdString();
  c.fpPort = checkFPbaud->isChecked();
  c.modbusPort = checkModbusPort->isChecked();
  target_.master().WriteLineSettings(target_.portOpen(), target_.slave(), c);
}

void CommandsBox::CheckBox1Click() { target_.master().SetAutomaticReadout(CheckBox1->isChecked()); }

void CommandsBox::Edit_autoChange() { target_.master().AutomaticPeriodChanged(UD_auto->Position()); }

void CommandsBox::Edit_zoneDeviceKeyPress(QChar& Key) { DigitsOnly(Key); }

}  // namespace ostrel
