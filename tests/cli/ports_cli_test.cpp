// ostrel-cli ports over a fake device tree (OSTREL_DEVICE_ROOT) and a device
// map folder of its own: the survey as tables and as JSON, who may open a
// device, and the COM names given and removed with the dialog's checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "FakeSerialTree.h"
#include "TempDir.h"
#include "cli_runner.h"

namespace ostrel::cli::testing {
namespace {

namespace fs = std::filesystem;

const char* kFtdiId = "usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0";
const char* kAcmId = "usb-Arduino__www.arduino.cc__0043_75833353035351F0E1A1-if00";

FakeSerialTree::Usb ftdi() {
  return {"ttyUSB0", "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A1B2C3D4", "ftdi_sio", kFtdiId, {}};
}
FakeSerialTree::Usb acm() {
  return {"ttyACM0", "1-2",  "2341", "0043", "Arduino (www.arduino.cc)", "", "75833353035351F0E1A1",
          "cdc_acm", kAcmId, {}};
}

// The cells of a table line: its columns stand two or more blanks apart.
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::string cell;
  size_t blanks = 0;
  for (char c : line) {
    if (c == ' ') {
      ++blanks;
      continue;
    }
    if (blanks >= 2 && !cell.empty())
      cells.push_back(cell), cell.clear();
    else if (blanks == 1 && !cell.empty())
      cell += ' ';
    blanks = 0;
    cell += c;
  }
  if (!cell.empty()) cells.push_back(cell);
  return cells;
}

// The cells of the first line after `section` whose first cell is `key`.
std::vector<std::string> Row(const std::string& out, const std::string& section, const std::string& key) {
  const size_t from = out.find(section);
  if (from == std::string::npos) return {};
  for (const std::string& line : Lines(out.substr(from)))
    if (auto cells = Cells(line); !cells.empty() && cells[0] == key) return cells;
  return {};
}

// Every entry of the map folder with its link target, to show that a refused change touched nothing.
std::set<std::string> Snapshot(const std::string& folder) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    out.insert(e.path().filename().string() + (e.is_symlink() ? " -> " + fs::read_symlink(e.path()).string() : ""));
  return out;
}

class CliPortsTest : public ::testing::Test {
 protected:
  TempDir tmp;
  FakeSerialTree tree{tmp / "root"};
  std::string map = tmp / "ports";

  void SetUp() override {
    setenv("OSTREL_DEVICE_ROOT", tree.root().c_str(), 1);
    setenv("OSTREL_DEVICE_DIR", map.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("OSTREL_DEVICE_ROOT");
    unsetenv("OSTREL_DEVICE_DIR");
  }
  static Result Ports(std::vector<std::string> args) {
    args.insert(args.begin(), "ports");
    return RunCli(args);
  }
  // An FTDI adapter, an Arduino, one real UART and an empty slot.
  void UsualDesk() {
    tree.addUsb(ftdi());
    tree.addUsb(acm());
    tree.addUart("ttyS0", 4);
    tree.addUart("ttyS1", 0);
  }
  // COM3 the FTDI adapter, COM4 an unplugged one, COM5 a file of the user's,
  // COM2 a file that is no serial device of this computer.
  void UsualMap() {
    fs::create_directories(map);
    fs::create_symlink(tree.byId(kFtdiId), map + "/COM3");
    fs::create_symlink(tree.byId("usb-Prolific_PL2303-if00-port0"), map + "/COM4");
    std::ofstream(map + "/COM5") << "x";
    std::ofstream(tmp / "elsewhere") << "";
    fs::create_symlink(tmp / "elsewhere", map + "/COM2");
  }
};

TEST_F(CliPortsTest, TheDevicesAndTheMapAsTables) {
  UsualDesk();
  UsualMap();
  // This test holds the Arduino open, as another program would.
  const int held = ::open(tree.dev("ttyACM0").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  const Result r = Ports({});
  ::close(held);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");

  EXPECT_EQ(r.out.rfind("Serial devices:\n", 0), 0u) << r.out;
  EXPECT_EQ(
      Row(r.out, "Serial devices:", "DEVICE"),
      (std::vector<std::string>{"DEVICE", "COM NAME", "ADAPTER", "SERIAL NUMBER", "DRIVER", "IN USE", "MAY OPEN"}));
  EXPECT_EQ(Row(r.out, "Serial devices:", tree.dev("ttyUSB0")),
            (std::vector<std::string>{tree.dev("ttyUSB0"), "COM3", "FTDI FT232R USB UART", "A1B2C3D4", "ftdi_sio", "no",
                                      "yes"}))
      << r.out;
  const auto arduino = Row(r.out, "Serial devices:", tree.dev("ttyACM0"));
  ASSERT_EQ(arduino.size(), 7u) << r.out;
  EXPECT_EQ(arduino[1], "-");
  EXPECT_EQ(arduino[2], "Arduino (www.arduino.cc)");
  EXPECT_EQ(arduino[5], "by cli_tests (pid " + std::to_string(::getpid()) + ")");
  const auto uart = Row(r.out, "Serial devices:", tree.dev("ttyS0"));
  EXPECT_EQ(uart, (std::vector<std::string>{tree.dev("ttyS0"), "COM1 (default)", "16550A UART at 0x3F8", "-", "serial",
                                            "no", "yes"}));
  EXPECT_EQ(r.out.find("ttyS1"), std::string::npos) << "an empty slot is no port";
  // The stable names, which a COM name should lead to, each whole on its line.
  EXPECT_EQ(Row(r.out, "STABLE NAME", tree.dev("ttyUSB0")),
            (std::vector<std::string>{tree.dev("ttyUSB0"), tree.byId(kFtdiId)}));
  EXPECT_EQ(Row(r.out, "STABLE NAME", tree.dev("ttyACM0")),
            (std::vector<std::string>{tree.dev("ttyACM0"), tree.byId(kAcmId)}));

  const std::string section = "Device map " + map + ":\n";
  ASSERT_NE(r.out.find(section), std::string::npos) << r.out;
  EXPECT_EQ(Row(r.out, section, "COM2"),
            (std::vector<std::string>{"COM2", tmp / "elsewhere", "a device that is not listed above"}));
  EXPECT_EQ(Row(r.out, section, "COM3"), (std::vector<std::string>{"COM3", tree.byId(kFtdiId), "ttyUSB0"}));
  const auto broken = Row(r.out, section, "COM4");
  ASSERT_EQ(broken.size(), 3u) << r.out;
  EXPECT_EQ(broken[1], tree.byId("usb-Prolific_PL2303-if00-port0"));
  EXPECT_EQ(broken[2], "its target is missing (adapter unplugged?)");
  const auto file = Row(r.out, section, "COM5");
  ASSERT_EQ(file.size(), 3u) << r.out;
  EXPECT_EQ(file[1], "(itself)");
  EXPECT_EQ(file[2].rfind("a file, not a link", 0), 0u);
  EXPECT_EQ(r.out.find("Notes:"), std::string::npos) << "nothing stands in the way";
}

TEST_F(CliPortsTest, NotesSayWhatStandsInTheWayUnlessQuiet) {
  const Result r = Ports({});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Serial devices:\n  (none)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Device map " + map + ":\n  (no COM names;"), std::string::npos) << r.out;
  const size_t notes = r.out.find("\nNotes:\n");
  ASSERT_NE(notes, std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  No serial device found. Plug in the USB serial adapter.\n", notes), std::string::npos);
  EXPECT_NE(r.out.find("no USB serial adapter has been plugged in", notes), std::string::npos);
  EXPECT_NE(r.out.find(map + " does not exist yet", notes), std::string::npos);

  const Result quiet = Ports({"--quiet"});
  ASSERT_EQ(quiet.code, 0);
  EXPECT_EQ(quiet.out, r.out.substr(0, notes)) << "all but the blank line and the notes";
}

TEST_F(CliPortsTest, JsonHoldsTheSameFacts) {
  UsualDesk();
  UsualMap();
  const Result r = Ports({"--json"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string file = tmp / "ports.json";
  std::ofstream(file) << r.out;
  // Read back by a JSON parser: the document must parse, and each fact is where a script looks for it.
  const Result facts = RunProgram({"python3", "-c", R"(import json, sys
d = json.load(open(sys.argv[1]))
for p in d["devices"]:
    print("|".join(str(x) for x in [p["name"], p["kind"], ",".join(p["com_names"]), p["default_com_name"], p["maker"],
          p["product"], p["serial_number"], p["usb_id"], p["driver"], p["stable_name"].rsplit("/", 1)[-1],
          len(p["used_by"]), p["may_open"], p["advice"]]))
m = d["device_map"]
print(m["folder"], m["exists"], m["problem"] or "-")
for e in m["entries"]:
    print("|".join(str(x) for x in [e["name"], e["kind"], e["target_exists"], e["device"], e["problem"][:9]]))
print(d["notes"])
)",
                                   file});
  ASSERT_EQ(facts.code, 0) << facts.err << r.out;
  EXPECT_EQ(Lines(facts.out),
            (std::vector<std::string>{
                "ttyUSB0|usb-serial|COM3||FTDI|FT232R USB UART|A1B2C3D4|0403:6001|ftdi_sio|" + std::string(kFtdiId) +
                    "|0|True|",
                "ttyACM0|usb-acm|||Arduino (www.arduino.cc)||75833353035351F0E1A1|2341:0043|cdc_acm|" +
                    std::string(kAcmId) + "|0|True|",
                "ttyS0|on-board||COM1||16550A UART at 0x3F8|||serial||0|True|",
                map + " True -",
                "COM2|link|True|None|",
                "COM3|link|True|" + tree.dev("ttyUSB0") + "|",
                "COM4|link|False|None|its targe",
                "COM5|file|True|None|a file, n",
                "[]",
            }));
}

TEST_F(CliPortsTest, WhoMayNotOpenADeviceIsToldTheRemedy) {
  UsualDesk();
  const std::string node = tree.dev("ttyUSB0");
  ASSERT_EQ(::chmod(tree.dev("ttyACM0").c_str(), 0666), 0);  // anyone may open this one
  std::vector<std::string> command{OSTREL_CLI_BINARY, "ports"};
  std::string mayOpen, remedy;
  if (::geteuid() == 0) {
    // Root may open anything: ask as an ordinary user, of a node of the dialout group.
    fs::permissions(tmp.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    ASSERT_EQ(::chown(node.c_str(), 0, 20), 0);
    ASSERT_EQ(::chmod(node.c_str(), 0660), 0);
    command.insert(command.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    mayOpen = "no: group dialout";
    remedy =
        "It belongs to the group \"dialout\", and your user is not in it. Ask your administrator to add your "
        "user to the group \"dialout\" (sudo usermod -aG dialout $USER), then log out and log in again.";
  } else {
    ASSERT_EQ(::chmod(node.c_str(), 0), 0);
    mayOpen = "no: group " + Lines(RunProgram({"stat", "-c", "%G", node}).out).at(0);
    remedy =
        "Its permissions let no one but its owner use it. No group may use it: ask your administrator to give "
        "the device to a group for its users (a udev rule with GROUP=\"dialout\", MODE=\"0660\") and to add "
        "your user to that group, then log out and log in again.";
  }
  const Result r = RunProgram(command);
  ASSERT_EQ(r.code, 0) << r.err;
  const auto row = Row(r.out, "Serial devices:", node);
  ASSERT_EQ(row.size(), 7u) << r.out;
  EXPECT_EQ(row[6], mayOpen);
  EXPECT_NE(r.out.find("\n  " + node + ": you may not open it. " + remedy + "\n"), std::string::npos) << r.out;
  EXPECT_EQ(Row(r.out, "Serial devices:", tree.dev("ttyACM0")).back(), "yes") << r.out;
}

TEST_F(CliPortsTest, MapGivesAndUnmapRemovesComNamesWithTheDialogsChecks) {
  UsualDesk();
  UsualMap();
  // A name is given to the device's stable name, however the device is named.
  Result r = Ports({"--map", "com7", "ttyACM0"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "COM7 now leads to " + tree.byId(kAcmId) + ".\n");
  EXPECT_EQ(fs::read_symlink(map + "/COM7"), tree.byId(kAcmId));
  // Another name moves it: a device keeps one name.
  r = Ports({"--map", "COM8", tree.byId(kAcmId), "--quiet"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(fs::symlink_status(map + "/COM7")));
  EXPECT_EQ(fs::read_symlink(map + "/COM8"), tree.byId(kAcmId));
  r = Ports({"--map=COM9", tree.dev("ttyS0")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(fs::read_symlink(map + "/COM9"), tree.dev("ttyS0")) << "a UART has no stable name";

  // Refusals change nothing and exit 2 with the reason.
  const auto before = Snapshot(map);
  const std::map<std::vector<std::string>, std::string> refusals{
      {{"--map", "COM8", "ttyUSB0"},
       "COM8 leads to ttyACM0 now. Give COM8 to ttyUSB0 instead? Add --replace to give it; nothing was changed."},
      {{"--map", "COM1", "ttyUSB0"},
       "COM1 reaches ttyS0 by default. Give COM1 to ttyUSB0 instead? Add --replace to give it; nothing was changed."},
      {{"--map", "COM5", "ttyUSB0", "--replace"},
       map + "/COM5 is a file, not a link, and Ostrel leaves it alone. Remove or rename it yourself to give COM5 to "
             "a device."},
      {{"--map", "COM0", "ttyUSB0"}, "\"COM0\" is not a COM name: use COM1 to COM256."},
      {{"--map", "COM6", "ttyUSB7"}, "no serial device 'ttyUSB7': the serial devices are ttyUSB0, ttyACM0, ttyS0"},
      {{"--map", "COM6", tmp / "elsewhere"},
       "no serial device '" + (tmp / "elsewhere") + "': the serial devices are ttyUSB0, ttyACM0, ttyS0"},
      {{"--unmap", "COM5"},
       map + "/COM5 is a file, not a link, and Ostrel leaves it alone. Remove or rename it yourself to give COM5 to "
             "a device."},
      {{"--unmap", "COM6"}, "COM6 is not in the device map " + map + "."},
      {{"--map", "COM6"}, "--map needs a COM name and a device, e.g. --map COM3 ttyUSB0"},
      {{"--map=COM6", "--quiet"}, "--map needs a COM name and a device, e.g. --map COM3 ttyUSB0"},
      {{"--map", "COM6", "ttyUSB0", "--unmap", "COM3"}, "give one of --map and --unmap"},
      {{"--json", "--unmap", "COM3"}, "--json lists; it does not go with --map or --unmap"},
      {{"--replace"}, "--replace goes with --map"},
  };
  for (const auto& [args, message] : refusals) {
    r = Ports(args);
    EXPECT_EQ(r.code, 2) << message;
    EXPECT_EQ(r.err, "ostrel-cli: error: " + message + "\n");
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(Snapshot(map), before);

  // Confirmed with --replace, the name moves to the other device.
  r = Ports({"--map", "COM8", "ttyUSB0", "--replace"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(fs::read_symlink(map + "/COM8"), tree.byId(kFtdiId));
  EXPECT_FALSE(fs::exists(fs::symlink_status(map + "/COM3"))) << "the FTDI adapter keeps one name";
  // A broken link is removed like any other.
  r = Ports({"--unmap", "COM4"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "COM4 removed (it led to " + tree.byId("usb-Prolific_PL2303-if00-port0") + ").\n");
  EXPECT_EQ(Row(Ports({}).out, "Device map", "COM8"),
            (std::vector<std::string>{"COM8", tree.byId(kFtdiId), "ttyUSB0"}));
}

}  // namespace
}  // namespace ostrel::cli::testing
