#include "core/SerialDevices.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <tuple>

namespace ostrel {
namespace fs = std::filesystem;
namespace {

struct KernelName {
  SerialKind kind;
  int number;
};

// "ttyUSB3" -> {UsbSerial, 3}; nothing for names of other devices.
std::optional<KernelName> parseKernelName(const std::string& name) {
  static const std::array<std::pair<std::string_view, SerialKind>, 3> kPrefixes = {
      {{"ttyUSB", SerialKind::UsbSerial}, {"ttyACM", SerialKind::UsbAcm}, {"ttyS", SerialKind::OnBoard}}};
  for (const auto& [prefix, kind] : kPrefixes) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    const std::string digits = name.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    return KernelName{kind, std::stoi(digits)};
  }
  return std::nullopt;
}

// The first line of a sysfs attribute without trailing blanks; empty when unreadable.
std::string readAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

// The device's own sysfs folder (ROOT/sys/class/tty/NAME/device, followed), or empty.
fs::path deviceFolder(const fs::path& sys, const std::string& name) {
  std::error_code ec;
  fs::path folder = fs::canonical(sys / "class/tty" / name / "device", ec);
  return ec ? fs::path() : folder;
}

// Walks from `start` up towards ROOT/sys and returns the first folder that
// satisfies `found`, or empty.
template <class Pred>
fs::path ancestorWhere(const fs::path& sys, fs::path start, Pred found) {
  for (fs::path p = std::move(start); !p.empty() && p != sys && p != p.parent_path(); p = p.parent_path())
    if (found(p)) return p;
  return {};
}

// The bus and name of a "driver" link (".../bus/usb-serial/drivers/ftdi_sio").
std::pair<std::string, std::string> driverOf(const fs::path& folder) {
  std::error_code ec;
  const fs::path link = fs::read_symlink(folder / "driver", ec);
  if (ec) return {};
  return {link.parent_path().parent_path().filename().string(), link.filename().string()};
}

// The driver that serves the device. The kernel's generic serial port and
// controller devices ("serial-base") sit between a UART and its real driver.
std::string driverName(const fs::path& sys, const fs::path& device) {
  std::string name;
  ancestorWhere(sys, device, [&name](const fs::path& p) {
    auto [bus, driver] = driverOf(p);
    if (driver.empty() || bus == "serial-base") return false;
    name = driver;
    return true;
  });
  return name;
}

void readUsbDetails(const fs::path& sys, SerialDevice& d) {
  const fs::path device = deviceFolder(sys, d.name);
  if (device.empty()) return;
  d.driver = driverName(sys, device);
  const fs::path usb = ancestorWhere(sys, device, [](const fs::path& p) {
    std::error_code ec;
    return fs::exists(p / "idVendor", ec);
  });
  if (usb.empty()) return;
  d.maker = readAttribute(usb / "manufacturer");
  d.product = readAttribute(usb / "product");
  d.serialNumber = readAttribute(usb / "serial");
  d.usbId = readAttribute(usb / "idVendor") + ":" + readAttribute(usb / "idProduct");
}

std::string uartTypeName(int type) {
  static const std::array<const char*, 15> kNames = {"unknown", "8250",  "16450",   "16550", "16550A",
                                                     "Cirrus",  "16650", "16650V2", "16750", "Startech",
                                                     "16C950",  "16654", "16850",   "RSA",   "NS16550A"};
  return type >= 0 && type < static_cast<int>(kNames.size()) ? kNames[type] : "type " + std::to_string(type);
}

// False for an empty slot: the kernel found no UART there (type 0) or says nothing.
bool readUartDetails(const fs::path& sys, SerialDevice& d) {
  const fs::path tty = sys / "class/tty" / d.name;
  const std::string type = readAttribute(tty / "type");
  if (type.empty() || type.find_first_not_of("0123456789") != std::string::npos || std::stoi(type) == 0) return false;
  d.product = uartTypeName(std::stoi(type)) + " UART";
  if (const std::string port = readAttribute(tty / "port"); !port.empty() && port != "0x0") d.product += " at " + port;
  const fs::path device = deviceFolder(sys, d.name);
  if (!device.empty()) d.driver = driverName(sys, device);
  return true;
}

// Kernel name -> its first link under by-id (in name order); dangling links are left out.
std::map<std::string, std::string> stableNames(const fs::path& byId) {
  std::vector<fs::path> links;
  std::error_code ec;
  for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_symlink(ec) && fs::exists(it->path(), ec)) links.push_back(it->path());
  std::sort(links.begin(), links.end());
  std::map<std::string, std::string> byName;
  for (const fs::path& link : links) {
    const fs::path target = fs::read_symlink(link, ec);
    if (ec) continue;
    const fs::path resolved = (target.is_absolute() ? target : byId / target).lexically_normal();
    byName.emplace(resolved.filename().string(), link.string());
  }
  return byName;
}

}  // namespace

SerialDeviceList FindSerialDevices(const std::string& root) {
  const fs::path base = root.empty() ? fs::path("/") : fs::path(root);
  const fs::path dev = base / "dev";
  std::error_code canonicalError;
  const fs::path sys = fs::weakly_canonical(base / "sys", canonicalError);
  const fs::path byId = dev / "serial/by-id";

  SerialDeviceList list;
  std::error_code ec;
  list.stableNamesFolderExists = fs::is_directory(byId, ec);
  const auto stable = stableNames(byId);

  std::vector<std::pair<KernelName, SerialDevice>> found;
  for (fs::directory_iterator it(dev, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const auto parsed = parseKernelName(name);
    std::error_code existsError;
    if (!parsed || !fs::exists(it->path(), existsError)) continue;
    SerialDevice d;
    d.kind = parsed->kind;
    d.name = name;
    d.path = (dev / name).string();
    if (auto s = stable.find(name); s != stable.end()) d.stableName = s->second;
    if (d.kind == SerialKind::OnBoard) {
      if (!readUartDetails(sys, d)) continue;
    } else {
      readUsbDetails(sys, d);
    }
    found.emplace_back(*parsed, std::move(d));
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::tie(a.first.kind, a.first.number) < std::tie(b.first.kind, b.first.number);
  });
  for (auto& f : found) list.devices.push_back(std::move(f.second));
  return list;
}

std::string DeviceRootDir(const char* rootOverride) { return rootOverride && *rootOverride ? rootOverride : "/"; }

}  // namespace ostrel
