#include <gtest/gtest.h>
#include <windows.h>

#include "cli/Exit.h"
#include "cli/PortLocation.h"
#include "serial/platform/Win32Device.h"

namespace ostrel {
namespace {

using namespace serial;

TEST(Win32Errors, AnOpenTellsMissingFromBusyAndAnOpenDeviceReportsAPulledAdapterAsLost) {
  EXPECT_EQ(ErrnoFromWin32(ERROR_FILE_NOT_FOUND), ENOENT);
  EXPECT_EQ(ErrnoFromWin32(ERROR_ACCESS_DENIED), EBUSY);  // another program holds the port
  EXPECT_EQ(ErrnoFromWin32(ERROR_INVALID_PARAMETER), EINVAL);
  EXPECT_EQ(ErrnoFromWin32(12345), EIO);
  // Once open, the drivers answer these after the adapter has gone: each must end the port's
  // waits as a lost device, or its event thread would retry for ever.
  for (DWORD code : {DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_DEVICE_REMOVED}, DWORD{ERROR_GEN_FAILURE},
                     DWORD{ERROR_BAD_COMMAND}, DWORD{ERROR_DEVICE_NOT_CONNECTED}, DWORD{ERROR_INVALID_HANDLE}})
    EXPECT_TRUE(isDeviceLost(ErrnoOfOpenDevice(code))) << code;
  EXPECT_EQ(ErrnoOfOpenDevice(ERROR_INVALID_PARAMETER), EINVAL);
}

TEST(Win32Names, ComNamesReachEveryPortAndOtherNamesPassUnchanged) {
  EXPECT_EQ(Win32DevicePath("COM3"), "\\\\.\\COM3");
  EXPECT_EQ(Win32DevicePath("com12"), "\\\\.\\com12");
  EXPECT_EQ(Win32DevicePath("\\\\.\\COM4"), "\\\\.\\COM4");
  EXPECT_EQ(Win32DevicePath("COMx"), "COMx");

  EXPECT_EQ(cli::LocatePort("com7", false).device, "\\\\.\\COM7");
  EXPECT_EQ(cli::LocatePort("com7", false).where, "COM7");
  EXPECT_EQ(cli::LocatePort("COM256", false).device, "\\\\.\\COM256");
  EXPECT_EQ(cli::LocatePort("\\\\.\\COM12", false).where, "COM12");
  for (const char* bad : {"COM0", "COM257", "COM03", "LPT1", "COM", "/dev/ttyUSB0", ""})
    EXPECT_THROW(cli::LocatePort(bad, false), cli::CliError) << bad;
}

TEST(Win32Timing, OneCharacterOnTheWire) {
  TVaDcb d;
  d.BaudRate = 9600, d.ByteSize = 8, d.Parity = 0, d.StopBits = 0;  // 10 bits
  EXPECT_EQ(CharacterMicros(d), 1042u);
  d.BaudRate = 2400, d.Parity = 2, d.StopBits = 2;  // 8E2: 12 bits
  EXPECT_EQ(CharacterMicros(d), 5000u);
  d.BaudRate = 1200, d.ByteSize = 5, d.Parity = 0, d.StopBits = 1;  // 5N1.5: 7.5 bits
  EXPECT_EQ(CharacterMicros(d), 6250u);
  d.BaudRate = 0;
  EXPECT_EQ(CharacterMicros(d), 0u);
}

}  // namespace
}  // namespace ostrel
