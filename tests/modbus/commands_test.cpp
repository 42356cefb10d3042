#include <gtest/gtest.h>

#include "core/CommandCaptions.h"
#include "modbus/commands.h"

namespace ostrel::modbus {
namespace {

uint16_t word(const CommandControls& c) {
  const CommandWord w = BuildCommandWord(c);
  return static_cast<uint16_t>(w.high << 8 | w.low);
}

TEST(ModbusCommands, CommandWords) {
  CommandControls zone;
  zone.command = PanelCommand::ZoneControl;
  zone.panelNumber = 3;
  zone.zoneDevice = 17;
  zone.loop2 = true;  // the loop boxes do not count for zones
  EXPECT_EQ(word(zone), 0x3111);

  CommandControls general;
  general.command = PanelCommand::GeneralWrite;
  general.beeper = general.resetFire = general.fire2 = general.fire2Time = general.siren = true;
  general.zoneDevice = 200;
  EXPECT_EQ(word(general), 0x001F);
  general.panelDisable = true;
  EXPECT_EQ(word(general), 0x081F);
  general.siren = false;
  general.beeper = false;
  EXPECT_EQ(word(general), 0x080E);

  CommandControls device;
  device.command = PanelCommand::DeviceControl;
  device.zoneDevice = 5;
  device.loop2 = true;
  EXPECT_EQ(word(device), 0x0285);
  device.zoneDevice = 125;
  EXPECT_EQ(word(device), 0x02FD);
  device.zoneDevice = 130;
  EXPECT_EQ(word(device), 0x0200);
  device.loop2 = false;
  device.loop1 = true;
  device.zoneDevice = 5;
  EXPECT_EQ(word(device), 0x0205);

  CommandControls outputs;
  outputs.command = PanelCommand::OutputsControl;
  outputs.zoneDevice = 200;
  outputs.loop2 = true;
  outputs.panelNumber = 13;
  EXPECT_EQ(word(outputs), 0xD3C8);
  outputs.loop2 = false;
  outputs.zoneDevice = 20;
  EXPECT_EQ(word(outputs), 0xD314);

  CommandControls none;
  none.panelNumber = 2;
  none.zoneDevice = 9;
  none.beeper = true;
  EXPECT_EQ(word(none), 0x2000);
  none.command = CommandOfCaption("zone control");  // captions are compared exactly
  EXPECT_EQ(word(none), 0x2000);
}

TEST(ModbusCommands, LineCodes) {
  EXPECT_EQ(BuildLineCode("19200", "Even"), 0x51);
  EXPECT_EQ(BuildLineCode("57600", "None"), 0x72);
  EXPECT_EQ(BuildLineCode("300", "Odd"), 0x00);
  EXPECT_EQ(BuildLineCode("1200", "Odd"), 0x10);
  EXPECT_EQ(BuildLineCode("2400", "None"), 0x22);
  EXPECT_EQ(BuildLineCode("4800", "Even"), 0x31);
  EXPECT_EQ(BuildLineCode("9600", "Even"), 0x41);
  EXPECT_EQ(BuildLineCode("38400", "Odd"), 0x60);
  for (const auto& [baud, parity] : std::vector<std::pair<std::string, std::string>>{
           {"115200", "None"}, {"", "None"}, {"9600", ""}, {"9600", "even"}, {"9600 ", "Even"}}) {
    EXPECT_EQ(BuildLineCode(baud, parity), kInvalidLineCode) << baud << "/" << parity;
  }
}

TEST(ModbusCommands, EnablingAndAddressParsing) {
  const CommandEnables g = CommandChanged(CommandOfCaption("General write"));
  EXPECT_TRUE(g.generalBoxes);
  EXPECT_FALSE(g.targetControls);
  for (const char* t : {"", "Zone control", "General write ", "Outputs control"}) {
    const CommandEnables e = CommandChanged(CommandOfCaption(t));
    EXPECT_FALSE(e.generalBoxes) << t;
    EXPECT_TRUE(e.targetControls) << t;
  }
  EXPECT_FALSE(PartnerAfterClick(true));
  EXPECT_TRUE(PartnerAfterClick(false));
  EXPECT_EQ(ParseNewSlaveAddress("0"), 0);
  EXPECT_EQ(ParseNewSlaveAddress("254"), 254);
  EXPECT_EQ(ParseNewSlaveAddress("999"), 999);
  EXPECT_EQ(ParseNewSlaveAddress("1x"), 255);
  EXPECT_EQ(ParseNewSlaveAddress(""), 255);
}

}  // namespace
}  // namespace ostrel::modbus
