#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "core/ComName.h"
#include "core/DeviceMap.h"
#include "core/DeviceProbe.h"

using namespace ostrel;
namespace fs = std::filesystem;

namespace {

// A pseudo-terminal pair; the slave's path stands in for a serial device.
struct Pty {
  int master = -1;
  std::string slave;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) slave = ::ptsname(master);
  }
  ~Pty() {
    if (master >= 0) ::close(master);
  }
};

}  // namespace

TEST(DeviceMap, ComNamesGoThroughTheMapFolderOrToTheOnBoardPort) {
  TempDir map;
  fs::create_symlink("/dev/serial/by-id/usb-FTDI_A1-if00-port0", map / "COM3");
  fs::create_symlink("../pts/7", map / "COM4");
  { std::ofstream(map / "COM9") << ""; }
  const char* dir = map.path().c_str();
  EXPECT_EQ(ResolveDeviceName("\\\\.\\COM3", dir), "/dev/serial/by-id/usb-FTDI_A1-if00-port0");
  EXPECT_EQ(ResolveDeviceName("com3", dir), "/dev/serial/by-id/usb-FTDI_A1-if00-port0");
  EXPECT_EQ(ResolveDeviceName("COM4", dir), map.path() + "/../pts/7");
  EXPECT_EQ(ResolveDeviceName("COM9", dir), map / "COM9");
  EXPECT_EQ(ResolveDeviceName("\\\\.\\COM1", dir), "/dev/ttyS0");
  EXPECT_EQ(ResolveDeviceName("COM256", dir), "/dev/ttyS255");
  // Paths are used as they are; other names are not touched.
  EXPECT_EQ(ResolveDeviceName("\\\\.\\/dev/ttyUSB0", dir), "/dev/ttyUSB0");
  EXPECT_EQ(ResolveDeviceName("/dev/pts/3", dir), "/dev/pts/3");
  for (const char* other : {"COM0", "COM257", "COM03", "COM", "COMX", "COM1a", "ttyUSB0", ""})
    EXPECT_EQ(ResolveDeviceName(other, dir), other);
}

TEST(DeviceMap, WithoutOverrideTheUsersConfigFolderIsTheMap) {
  TempDir config;
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string restore = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  fs::create_directories(config / "ostrel/ports");
  fs::create_symlink("/dev/ttyUSB1", config / "ostrel/ports/COM2");
  EXPECT_EQ(DefaultDeviceMapDir(), config / "ostrel/ports");
  EXPECT_EQ(ResolveDeviceName("COM2", nullptr), "/dev/ttyUSB1");
  EXPECT_EQ(ResolveDeviceName("COM2", ""), "/dev/ttyUSB1");
  if (saved)
    ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(DeviceProbe, AFreeTerminalIsOkAndTheProbeLeavesItFree) {
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  EXPECT_EQ(DeviceProbe(pty.slave).status, ProbeStatus::Ok);
  EXPECT_EQ(DeviceProbe(pty.slave).status, ProbeStatus::Ok);
  const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int exclusive = 1;
  ASSERT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

TEST(DeviceProbe, ADeviceHeldByAnotherDescriptorIsBusy) {
  Pty pty;
  ASSERT_FALSE(pty.slave.empty());
  const int holder = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  ProbeResult r = DeviceProbe(pty.slave);
  EXPECT_EQ(r.status, ProbeStatus::Busy);
  EXPECT_EQ(ProbeMessage(r, "COM1", pty.slave), "This serial port is already in use!");
  ::flock(holder, LOCK_UN);
  // Exclusive mode set by the holder counts as busy too (root may still open it).
  ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);
  EXPECT_EQ(DeviceProbe(pty.slave).status, ProbeStatus::Busy);
  int exclusive = 0;
  ::ioctl(holder, TIOCGEXCL, &exclusive);
  EXPECT_EQ(exclusive, 1);  // the probe did not take the holder's mode away
  ::ioctl(holder, TIOCNXCL);
  EXPECT_EQ(DeviceProbe(pty.slave).status, ProbeStatus::Ok);
  ::close(holder);
}

TEST(DeviceProbe, MissingDevicesAndNonTerminalsNameTheirCause) {
  TempDir dir;
  fs::create_symlink("/dev/serial/by-id/usb-unplugged", dir / "COM5");
  const std::string device = ResolveDeviceName("COM5", dir.path().c_str());
  for (const std::string& path : {dir / "ttyUSB9", device}) {
    const ProbeResult r = DeviceProbe(path);
    EXPECT_EQ(r.status, ProbeStatus::Missing) << path;
    EXPECT_EQ(r.errorNumber, ENOENT);
  }
  const std::string text = ProbeMessage(DeviceProbe(device), "COM5", device);
  EXPECT_NE(text.find("COM5 (/dev/serial/by-id/usb-unplugged) does not exist (No such file or directory)"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("in use"), std::string::npos);
  const std::string hinted = ProbeMessage(DeviceProbe(dir / "ttyS200"), "COM201", dir / "ttyS200", "/maps");
  EXPECT_NE(hinted.find("make /maps/COM201 a link to it"), std::string::npos) << hinted;

  { std::ofstream(dir / "plain") << "x"; }
  const ProbeResult notTty = DeviceProbe(dir / "plain");
  EXPECT_EQ(notTty.status, ProbeStatus::OtherError);
  EXPECT_EQ(notTty.errorNumber, ENOTTY);
}

// Probes a device this process may not open: as root in a child that becomes "nobody", as an
// ordinary user on its own pseudo-terminal with every right taken away. Returns the message.
// The probe's message for a user who may not open the device. Run as root, the device gets
// `mode` and `group` and a child that is nobody probes it; otherwise the device gets mode 0.
static std::string ProbeWithoutPermission(const std::string& path, bool& refused, mode_t mode = 0660, gid_t group = 0) {
  if (::geteuid() != 0) {
    if (::chmod(path.c_str(), 0) != 0) return "chmod failed";
    const ProbeResult r = DeviceProbe(path);
    refused = r.status == ProbeStatus::NoPermission;
    return ProbeMessage(r, "COM1", path);
  }
  if (::chmod(path.c_str(), mode) != 0 || ::chown(path.c_str(), static_cast<uid_t>(-1), group) != 0)
    return "chmod failed";
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    const ProbeResult r = DeviceProbe(path);
    const std::string text = ProbeMessage(r, "COM1", path);
    const bool written = ::write(pipeFds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(r.status == ProbeStatus::NoPermission && written ? 0 : 1);
  }
  ::close(pipeFds[1]);
  std::string text;
  char buf[512];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  refused = child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return text;
}

TEST(DeviceProbe, APermissionRefusalNamesTheDevicesGroupAndTheRemedy) {
  // A group whose members may use the device is named with the command that joins it; a device
  // no group may use, or one of root's group, gets the advice to give it a group.
  const bool root = ::geteuid() == 0;
  const struct {
    mode_t mode;
    gid_t group;
    const char* advice;
  } cases[] = {{0660, 20, "group \"dialout\" (sudo usermod -aG dialout $USER)"},
               {0660, 0, "No group may use it: ask your administrator to give the device to a group"},
               {0600, 20, "No group may use it: ask your administrator to give the device to a group"}};
  for (const auto& c : cases) {
    if (!root && c.mode != 0600) continue;  // only root can take the device away from its owner
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    bool refused = false;
    const std::string text = ProbeWithoutPermission(pty.slave, refused, c.mode, c.group);
    EXPECT_TRUE(refused) << text;
    EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
    EXPECT_NE(text.find(c.advice), std::string::npos) << text;
    EXPECT_EQ(text.find("group \"root\""), std::string::npos) << text;
    EXPECT_NE(text.find("log in again"), std::string::npos) << text;
  }
}

TEST(ComNumber, OnlyCom1ToCom256InAnyCase) {
  const std::pair<const char*, int> names[] = {{"COM1", 1},  {"com3", 3},  {"cOm256", 256}, {"COM257", 0}, {"COM0", 0},
                                               {"COM01", 0}, {"COM", 0},   {"COM1000", 0},  {"XOM3", 0},   {"CXM3", 0},
                                               {"COX3", 0},  {"COM3a", 0}, {"COM-3", 0},    {"", 0}};
  for (auto [name, number] : names) EXPECT_EQ(ComNumber(name), number) << name;
}
