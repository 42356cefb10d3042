// The survey of serial ports over a fake device tree, and the changes it
// makes to the device map.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "FakeSerialTree.h"
#include "TempDir.h"
#include "core/DeviceMap.h"
#include "core/PortsSurvey.h"

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

const char* kFtdiId = "usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";
const char* kAcmId = "usb-Arduino__www.arduino.cc__0043_75833353035351F0E1A1-if00";

FakeSerialTree::Usb ftdi() {
  return {"ttyUSB0", "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3D4", "ftdi_sio", kFtdiId, {}};
}
FakeSerialTree::Usb acm() {
  return {"ttyACM0", "1-2",  "2341", "0043", "Arduino (www.arduino.cc)", "", "75833353035351F0E1A1",
          "cdc_acm", kAcmId, {}};
}

// Every path under a folder with what it is or leads to, to show that a
// refused change touched nothing.
std::set<std::string> snapshot(const std::string& folder) {
  std::set<std::string> out;
  std::error_code ec;
  if (!fs::is_directory(folder)) {
    out.insert(fs::exists(folder) ? "file" : "none");
    return out;
  }
  for (const auto& e : fs::recursive_directory_iterator(folder, ec))
    out.insert(e.path().string() + (e.is_symlink() ? " -> " + fs::read_symlink(e.path()).string() : ""));
  return out;
}

class PortsSurveyTest : public ::testing::Test {
 protected:
  TempDir tmp;
  FakeSerialTree tree{tmp / "root"};
  std::string map = tmp / "ports";

  PortsSurvey survey(std::vector<OwnUse> own = {}) {
    SurveyInput in;
    in.root = tree.root();
    in.mapFolder = map;
    in.ownUse = std::move(own);
    in.credentials = Credentials::Current();
    return SurveyPorts(in);
  }
  // The usual desk: an FTDI adapter, an Arduino, one real UART and three empty slots.
  void usualDesk() {
    tree.addUsb(ftdi());
    tree.addUsb(acm());
    tree.addUart("ttyS0", 4);
    for (const char* empty : {"ttyS1", "ttyS2", "ttyS3"}) tree.addUart(empty, 0);
  }
};

}  // namespace

TEST_F(PortsSurveyTest, AdaptersAndRealUartsWithTheirDetailsAndComNames) {
  usualDesk();
  fs::create_directories(map);
  fs::create_symlink(tree.byId(kFtdiId), map + "/COM3");
  fs::create_symlink(tree.byId("usb-Prolific_PL2303-if00-port0"), map + "/COM4");  // unplugged
  { std::ofstream(map + "/COM5") << "x"; }
  fs::create_symlink(tree.dev("ttyACM0"), map + "/com6");  // not the name the connect looks for

  const PortsSurvey s = survey();
  ASSERT_EQ(s.ports.size(), 3u);  // the empty ttyS1..3 are left out
  const PortStatus& usb = s.ports[0];
  EXPECT_EQ(usb.device.name, "ttyUSB0");
  EXPECT_EQ(usb.device.kind, SerialKind::UsbSerial);
  EXPECT_EQ(usb.device.path, tree.dev("ttyUSB0"));
  EXPECT_EQ(usb.device.stableName, tree.byId(kFtdiId));
  EXPECT_EQ(usb.device.maker, "FTDI");
  EXPECT_EQ(usb.device.product, "FT232R USB UART");
  EXPECT_EQ(usb.device.serialNumber, "A1B2C3D4");
  EXPECT_EQ(usb.device.usbId, "0403:6001");
  EXPECT_EQ(usb.device.driver, "ftdi_sio");
  EXPECT_EQ(usb.comNamesText(), "COM3");
  EXPECT_TRUE(usb.access.mayOpen);  // root, or the owner of the fake node
  EXPECT_TRUE(usb.usedBy.empty());

  const PortStatus& arduino = s.ports[1];
  EXPECT_EQ(arduino.device.kind, SerialKind::UsbAcm);
  EXPECT_EQ(arduino.device.driver, "cdc_acm");
  EXPECT_EQ(arduino.device.maker, "Arduino (www.arduino.cc)");
  EXPECT_EQ(arduino.device.stableName, tree.byId(kAcmId));
  EXPECT_TRUE(arduino.comNames.empty());

  const PortStatus& uart = s.ports[2];
  EXPECT_EQ(uart.device.name, "ttyS0");
  EXPECT_EQ(uart.device.product, "16550A UART at 0x3F8");
  EXPECT_EQ(uart.device.driver, "serial");  // past the kernel's generic port device
  EXPECT_EQ(uart.device.linkTarget(), tree.dev("ttyS0"));
  EXPECT_EQ(uart.comNamesText(), "COM1 (default)");

  ASSERT_EQ(s.names.size(), 4u);
  EXPECT_EQ(s.names[0].entry.name, "COM3");
  EXPECT_EQ(s.names[0].device, 0);
  EXPECT_EQ(s.names[1].entry.name, "COM4");
  EXPECT_EQ(s.names[1].device, -1);
  EXPECT_FALSE(s.names[1].entry.targetExists);
  EXPECT_EQ(s.names[1].entry.target, tree.byId("usb-Prolific_PL2303-if00-port0"));
  EXPECT_NE(s.names[1].entry.problem.find("missing"), std::string::npos);
  EXPECT_EQ(s.names[2].entry.kind, MapEntry::Kind::File);
  EXPECT_NE(s.names[2].entry.problem.find("not a link"), std::string::npos);
  EXPECT_EQ(s.names[3].entry.name, "com6");
  EXPECT_EQ(s.names[3].device, -1);
  EXPECT_NE(s.names[3].entry.problem.find("COM6"), std::string::npos);
  EXPECT_TRUE(s.notes.empty());

  // A map entry COM1 takes the default name from the on-board port.
  fs::create_symlink(tree.dev("ttyACM0"), map + "/COM1");
  const PortsSurvey again = survey();
  EXPECT_EQ(again.ports[1].comNamesText(), "COM1");
  EXPECT_EQ(again.ports[2].comNamesText(), "");
}

TEST_F(PortsSurveyTest, MissingStableNamesSysfsOrMapFolderAreNotedNotFatal) {
  // No udev (no by-id folder), no sysfs for the adapter: listed all the same, without details.
  std::ofstream(tree.dev("ttyUSB3")) << "";
  std::ofstream(tree.dev("ttyS0")) << "";  // no sysfs: nothing says a UART is behind it
  std::ofstream(tree.dev("ttyUSBx")) << "";
  std::ofstream(tree.dev("tty5")) << "";
  PortsSurvey s = survey();
  ASSERT_EQ(s.ports.size(), 1u);
  EXPECT_EQ(s.ports[0].device.name, "ttyUSB3");
  EXPECT_TRUE(s.ports[0].device.stableName.empty());
  EXPECT_EQ(s.ports[0].device.linkTarget(), tree.dev("ttyUSB3"));
  ASSERT_EQ(s.notes.size(), 2u);
  EXPECT_NE(s.notes[0].find("no /dev/serial/by-id"), std::string::npos) << s.notes[0];
  EXPECT_NE(s.notes[0].find("number can change"), std::string::npos) << s.notes[0];
  EXPECT_NE(s.notes[1].find("does not exist yet"), std::string::npos) << s.notes[1];

  // Without a device, the note says what to do.
  fs::remove(tree.dev("ttyUSB3"));
  s = survey();
  EXPECT_TRUE(s.ports.empty());
  EXPECT_NE(s.notes[0].find("No serial device found"), std::string::npos);
  EXPECT_NE(s.notes[1].find("no USB serial adapter has been plugged in"), std::string::npos) << s.notes[1];

  // A file where the map folder should be: noted, and no name can be given.
  std::ofstream(tree.dev("ttyUSB3")) << "";
  { std::ofstream(map) << "not a folder"; }
  s = survey();
  EXPECT_NE(s.notes.back().find("is a file, not a folder"), std::string::npos) << s.notes.back();
  const MapChange refused = GiveComName(s, 0, "COM3");
  EXPECT_FALSE(refused.ok);
  EXPECT_NE(refused.message.find("is a file, not a folder"), std::string::npos);
  EXPECT_EQ(snapshot(map), std::set<std::string>{"file"});
}

TEST_F(PortsSurveyTest, GivingChangingAndRemovingComNames) {
  usualDesk();
  PortsSurvey s = survey();
  EXPECT_EQ(s.replaceQuestion(0, "COM3"), "");

  // The first name makes the folder; the link points at the stable name.
  MapChange c = GiveComName(s, 0, "com3");
  ASSERT_TRUE(c.ok) << c.message;
  EXPECT_EQ(fs::read_symlink(map + "/COM3"), tree.byId(kFtdiId));
  EXPECT_EQ(ResolveDeviceName("\\\\.\\COM3", map.c_str()), tree.byId(kFtdiId));
  s = survey();
  EXPECT_EQ(s.ports[0].comNamesText(), "COM3");

  // A new name replaces the old one: a device keeps one name.
  c = GiveComName(s, 0, "COM7");
  ASSERT_TRUE(c.ok) << c.message;
  EXPECT_NE(c.message.find("COM3 no longer does"), std::string::npos) << c.message;
  EXPECT_FALSE(fs::exists(fs::symlink_status(map + "/COM3")));
  s = survey();
  EXPECT_EQ(s.ports[0].comNamesText(), "COM7");
  // Giving a device the name it has keeps that name.
  ASSERT_TRUE(GiveComName(s, 0, "com7").ok);
  ASSERT_TRUE(fs::is_symlink(map + "/COM7"));
  EXPECT_EQ(fs::read_symlink(map + "/COM7"), tree.byId(kFtdiId));

  // A name that reaches another device, or one that is missing, is asked about first.
  EXPECT_EQ(s.replaceQuestion(1, "COM7"), "COM7 leads to ttyUSB0 now. Give COM7 to ttyACM0 instead?");
  EXPECT_EQ(s.replaceQuestion(0, "COM7"), "");
  EXPECT_EQ(s.replaceQuestion(1, "COM1"), "COM1 reaches ttyS0 by default. Give COM1 to ttyACM0 instead?");
  fs::create_symlink("/nonexistent/usb-gone", map + "/COM9");
  s = survey();
  EXPECT_EQ(s.replaceQuestion(1, "COM9"),
            "COM9 leads to /nonexistent/usb-gone, which is missing now. "
            "Give COM9 to ttyACM0 instead?");
  ASSERT_TRUE(GiveComName(s, 1, "COM9").ok);
  EXPECT_EQ(fs::read_symlink(map + "/COM9"), tree.byId(kAcmId));
  // An on-board port has no stable name: its link is the node itself.
  ASSERT_TRUE(GiveComName(s, 2, "COM2").ok);
  EXPECT_EQ(fs::read_symlink(map + "/COM2"), tree.dev("ttyS0"));

  c = RemoveComName(map, "COM7");
  ASSERT_TRUE(c.ok) << c.message;
  EXPECT_EQ(c.message, "COM7 removed (it led to " + tree.byId(kFtdiId) + ").");
  EXPECT_FALSE(fs::exists(fs::symlink_status(map + "/COM7")));
  EXPECT_FALSE(RemoveComName(map, "COM7").ok);
  // Nothing is left over from the writes.
  EXPECT_EQ(snapshot(map).size(), 2u);
}

TEST_F(PortsSurveyTest, RefusedChangesLeaveTheMapAsItWas) {
  usualDesk();
  fs::create_directories(map + "/COM6");
  { std::ofstream(map + "/COM5") << "/dev/ttyUSB0"; }
  fs::create_symlink(tree.byId(kAcmId), map + "/COM2");
  const PortsSurvey s = survey();
  const auto before = snapshot(map);
  for (const char* bad : {"COM0", "COM257", "COM03", "LPT1", "COM", "", "COM3x"}) {
    const MapChange c = GiveComName(s, 0, bad);
    EXPECT_FALSE(c.ok) << bad;
    EXPECT_NE(c.message.find("COM1 to COM256"), std::string::npos) << c.message;
    EXPECT_FALSE(RemoveComName(map, bad).ok) << bad;
  }
  for (const char* kept : {"COM5", "COM6"}) {
    const MapChange c = GiveComName(s, 0, kept);
    EXPECT_FALSE(c.ok) << kept;
    EXPECT_NE(c.message.find("not a link, and Ostrel leaves it alone"), std::string::npos) << c.message;
    EXPECT_FALSE(RemoveComName(map, kept).ok) << kept;
  }
  EXPECT_EQ(snapshot(map), before);

  // A write that fails (a file stands where a folder of the path should be;
  // root ignores permissions, so a read-only folder would not do).
  { std::ofstream(tmp / "file") << "x"; }
  const std::string under = tmp / "file/ports";
  const MapChange c = SetComName(under, "COM3", tree.byId(kFtdiId));
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.message.find("Cannot make the device map folder " + under + ": Not a directory"), std::string::npos)
      << c.message;
  EXPECT_EQ(snapshot(tmp / "file"), std::set<std::string>{"file"});
}

TEST_F(PortsSurveyTest, UsersOfADeviceAndWhoMayOpenIt) {
  usualDesk();
  // Another program holding the device is named; this program's own use is labelled by the caller.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int fd = ::open(tree.dev("ttyACM0").c_str(), O_RDONLY);
    (void)!::write(ready[1], fd >= 0 ? "y" : "n", 1);
    ::pause();
    ::_exit(0);
  }
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ::close(ready[0]);
  ::close(ready[1]);
  const PortsSurvey s = survey({{tree.byId(kFtdiId), "Ostrel's panel link"}});
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_EQ(answer, 'y');
  EXPECT_EQ(s.ports[0].usedBy, std::vector<std::string>{"Ostrel's panel link"});
  ASSERT_EQ(s.ports[1].usedBy.size(), 1u);
  EXPECT_NE(s.ports[1].usedBy[0].find("(pid " + std::to_string(child) + ")"), std::string::npos);
  EXPECT_TRUE(s.ports[2].usedBy.empty());

  // Access from the node's owner, group and mode, for a user other than its owner.
  const std::string node = tree.dev("ttyUSB0");
  struct stat st {};
  ASSERT_EQ(::stat(node.c_str(), &st), 0);
  // A device of a group that users join (dialout's number on Debian), when the test may give it one.
  if (st.st_gid == 0 && ::chown(node.c_str(), static_cast<uid_t>(-1), 20) == 0) {
    ASSERT_EQ(::stat(node.c_str(), &st), 0);
  }
  const gid_t group = st.st_gid;
  Credentials stranger;
  stranger.uid = st.st_uid + 4242;
  ::chmod(node.c_str(), 0660);
  DeviceAccess a = CheckDeviceAccess(node, stranger);
  EXPECT_FALSE(a.mayOpen);
  EXPECT_NE(a.advice.find("belongs to the group \"" + a.group + "\", and your user is not in it"), std::string::npos);
  EXPECT_NE(a.advice.find("(sudo usermod -aG " + a.group + " $USER), then log out and log in again."),
            std::string::npos)
      << a.advice;
  stranger.accountGroups = {group};  // joined since login
  a = CheckDeviceAccess(node, stranger);
  EXPECT_FALSE(a.mayOpen);
  EXPECT_NE(a.advice.find("after this session started: log out and log in again"), std::string::npos) << a.advice;
  stranger.sessionGroups = {group};
  EXPECT_TRUE(CheckDeviceAccess(node, stranger).mayOpen);
  ::chmod(node.c_str(), 0600);
  EXPECT_FALSE(CheckDeviceAccess(node, stranger).mayOpen);
  Credentials owner;
  owner.uid = st.st_uid == 0 ? 4242 : st.st_uid;
  if (st.st_uid != 0) {
    EXPECT_TRUE(CheckDeviceAccess(node, owner).mayOpen);
  }
  EXPECT_TRUE(CheckDeviceAccess(node, Credentials{}).mayOpen);  // root
  ::chmod(node.c_str(), 0666);
  EXPECT_TRUE(CheckDeviceAccess(node, stranger).mayOpen);

  // No group worth joining: none may use it, or it is root's. The advice never names one.
  const gid_t root = 0;
  for (const auto& [mode, gid] : {std::pair{0600, group}, std::pair{0660, root}}) {
    if (gid == root && ::chown(node.c_str(), static_cast<uid_t>(-1), root) != 0) continue;  // not allowed here
    ::chmod(node.c_str(), static_cast<mode_t>(mode));
    a = CheckDeviceAccess(node, Credentials{4242, {}, {}});
    EXPECT_FALSE(a.mayOpen);
    EXPECT_EQ(a.advice.find("usermod"), std::string::npos) << a.advice;
    EXPECT_NE(a.advice.find("No group may use it: ask your administrator to give the device to a group"),
              std::string::npos)
        << a.advice;
  }
}
