// Windows' file names and safe saves, the connect's probe, and the adapters' USB identities.
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <filesystem>

#include "common/WideText.h"
#include "core/ComPorts.h"
#include "core/DeviceProbe.h"
#include "core/FileIo.h"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

// A fresh folder with a Cyrillic name under the temporary folder, removed at the end.
class CyrillicFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        fs::temp_directory_path() / (L"ostrel-\u0422\u0435\u0441\u0442-" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  std::string path(const std::wstring& name) const { return Utf8FromWide((folder_ / name).wstring()); }
  size_t entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(folder_), {})); }

  fs::path folder_;
};

TEST_F(CyrillicFolder, ASaveCreatesAndReplacesAUnicodeNameAndLeavesNoTemporaryFile) {
  const std::string file = path(L"\u043d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0438.ini");
  const FileWriteResult first = WriteFileAtomically(file, "[Com port]\r\n");
  ASSERT_TRUE(first) << first.errorText;
  EXPECT_EQ(ReadWholeFile(file).value_or("?"), "[Com port]\r\n");
  ASSERT_TRUE(WriteFileAtomically(file, std::string("\xC0\xE1\r\n", 4)));
  EXPECT_EQ(ReadWholeFile(file).value_or("?"), std::string("\xC0\xE1\r\n", 4));
  EXPECT_EQ(entries(), 1u);

  const std::optional<BoundedRead> head = ReadRegularFile(file, 2);
  ASSERT_TRUE(head);
  EXPECT_EQ(head->bytes, "\xC0\xE1");
  EXPECT_FALSE(head->complete);
}

TEST_F(CyrillicFolder, NamesThatAreNoRegularFileAreRefusedAndKeepWhatStandsThere) {
  const std::string folder = path(L"data");
  fs::create_directory(WideFromUtf8(folder));
  struct Case {
    std::string name;
    int err;
  };
  for (const Case& c : {Case{folder, EISDIR}, Case{"NUL", EINVAL}, Case{path(L"missing\\x.csv"), ENOENT}}) {
    const FileWriteResult r = WriteFileAtomically(c.name, "x");
    EXPECT_FALSE(r) << c.name;
    EXPECT_EQ(r.errorNumber, c.err) << c.name << ": " << r.errorText;
    EXPECT_FALSE(r.errorText.empty());
  }
  EXPECT_TRUE(fs::is_directory(WideFromUtf8(folder)));
  EXPECT_EQ(entries(), 1u);
  for (const std::string& name : {folder, std::string("NUL"), path(L"missing.ini")})
    EXPECT_FALSE(ReadRegularFile(name, 100)) << name;
}

TEST(Win32Probe, AMissingPortIsMissingWithTheSystemsOwnWords) {
  const ProbeResult r = DeviceProbe("\\\\.\\COM200");
  EXPECT_EQ(r.status, ProbeStatus::Missing);
  EXPECT_EQ(r.errorNumber, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(r.systemText.empty());
  EXPECT_EQ(PortDevicePath("\\\\.\\COM200"), "\\\\.\\COM200");
  EXPECT_EQ(PortMapFolder(), "");
  const std::string text = ProbeMessage(r, "COM200", PortDevicePath("\\\\.\\COM200"), PortMapFolder());
  EXPECT_EQ(text.rfind("The serial port COM200 (\\\\.\\COM200) does not exist (", 0), 0u) << text;
}

// A URL typed as the window's port name reaches the network device without the
// device prefix the window puts before every name, and has nothing to probe.
TEST(Win32Probe, ATypedUrlIsTheNetworkPortItself) {
  EXPECT_EQ(PortDevicePath("\\\\.\\rfc2217://127.0.0.1:4000"), "rfc2217://127.0.0.1:4000");
  EXPECT_EQ(PortDevicePath("\\\\.\\tcp://panel.site:23"), "tcp://panel.site:23");
  EXPECT_EQ(PortDevicePath("\\\\.\\COM3"), "\\\\.\\COM3");
  EXPECT_TRUE(DeviceProbe("rfc2217://127.0.0.1:4000").ok());
}

TEST(UsbIdentity, VendorProductAndSerialFromTheInstanceIdsOfCommonAdapters) {
  struct Case {
    const char* instance;
    const char* usbId;
    const char* serial;
  };
  for (const Case& c : {
           Case{"USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&2", "1A86:7523", ""},  // CH340: no serial
           Case{"USB\\VID_067B&PID_2303\\A1B2C3", "067B:2303", "A1B2C3"},    // PL2303 with one
           Case{"FTDIBUS\\VID_0403+PID_6001+A10K1Q2BA\\0000", "0403:6001", "A10K1Q2BA"},
           Case{"usb\\vid_10c4&pid_ea60\\0001", "10C4:EA60", "0001"},
           Case{"ACPI\\PNP0501\\0", "", ""},  // an on-board port
           Case{"USB\\VID_12&PID_34\\X", "", ""},
       }) {
    const UsbIdentity id = UsbIdentityOf(c.instance);
    EXPECT_EQ(id.usbId, c.usbId) << c.instance;
    EXPECT_EQ(id.serialNumber, c.serial) << c.instance;
  }
}

}  // namespace
}  // namespace ostrel
