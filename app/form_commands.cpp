// The panel commands sent over Modbus.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "TForm1.h"
#include "core/CommandCaptions.h"
#include "modbus/commands.h"
#include "modbus/frames.h"
#include "modbus/readout.h"

namespace ostrel {

void TForm1::ComboCommandChange() {
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
void TForm1::checkLoop1Click() { checkLoop2->setChecked(modbus::PartnerAfterClick(checkLoop1->isChecked())); }
void TForm1::checkLoop2Click() { checkLoop1->setChecked(modbus::PartnerAfterClick(checkLoop2->isChecked())); }
void TForm1::checkFPbaudClick() { checkModbusPort->setChecked(modbus::PartnerAfterClick(checkFPbaud->isChecked())); }
void TForm1::checkModbusPortClick() {
  checkFPbaud->setChecked(modbus::PartnerAfterClick(checkModbusPort->isChecked()));
}

void TForm1::BitBtn9Click() {
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
  modbusMaster().WriteHoldingRegister(modbusPortOpen, UDmodbusAddress->Position(), c);
}

void TForm1::BitBtn10Click() {
  modbusMaster().SetDateTime(modbusPortOpen, UDmodbusAddress->Position(), modbus::LocalClockNow());
}

void TForm1::BitBtn11Click() {
  modbus::LineControls c;
  c.baud = Combo_baud->currentText().toStdString();
  c.parity = Combo_parity->currentText().toStdString();
  c.fpPort = checkFPbaud->isChecked();
  c.modbusPort = checkModbusPort->isChecked();
  modbusMaster().WriteLineSettings(modbusPortOpen, UDmodbusAddress->Position(), c);
}

void TForm1::BitBtn12Click() {
  modbusMaster().SetSlaveAddress(Edit_address->text().toStdString(), modbusPortOpen, UDmodbusAddress->Position());
}

}  // namespace ostrel
