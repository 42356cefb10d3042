// The ports of the registry's serial devices map, each with its adapter's friendly name, USB
// identity and serial number from the device manager's Ports class (SetupAPI), and whether it
// can be opened now.
#include <windows.h>
// clang-format off
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <map>

#include "common/WideText.h"
#include "core/ComName.h"
#include "core/ComPorts.h"

namespace ostrel {
namespace {

struct Adapter {
  std::string description;
  UsbIdentity identity;
};

std::string stateOf(const std::string& name) {
  // Opened and closed again at once, without touching the line settings.
  const std::wstring path = WideFromUtf8("\\\\.\\" + name);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) return "busy";
    return "cannot be opened: " + Win32ErrorText(code);
  }
  // A name whose device has gone may still open; only a line that answers is a port.
  DCB line{};
  line.DCBlength = sizeof line;
  const bool answers = GetCommState(h, &line) != 0;
  const DWORD code = answers ? 0 : GetLastError();
  CloseHandle(h);
  return answers ? "free" : "cannot be used: " + Win32ErrorText(code);
}

std::wstring stringProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t text[512] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                         sizeof text - sizeof(wchar_t), nullptr))
    return {};
  return text;
}

std::wstring portNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t name[64] = {};
  DWORD size = sizeof name - sizeof(wchar_t), type = 0;
  const LONG rc = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::wstring(name) : std::wstring();
}

// What the device manager's Ports class knows, by COM name.
std::map<std::string, Adapter> adapters() {
  std::map<std::string, Adapter> found;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return found;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    const std::string name = Utf8FromWide(portNameOf(set, device));
    if (ComNumber(name) == 0) continue;
    wchar_t instance[512] = {};
    const bool hasId = SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr);
    found[name] = {Utf8FromWide(stringProperty(set, device, SPDRP_FRIENDLYNAME)),
                   hasId ? UsbIdentityOf(Utf8FromWide(instance)) : UsbIdentity{}};
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace

std::vector<ComPort> PresentComPorts() {
  std::vector<ComPort> ports;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;  // no serial port has ever been present
  for (DWORD i = 0;; ++i) {
    wchar_t value[256], data[256];
    DWORD valueSize = 255, dataSize = sizeof data - sizeof(wchar_t), type = 0;
    const LONG rc = RegEnumValueW(key, i, value, &valueSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize / sizeof(wchar_t)] = L'\0';
    ComPort p;
    p.name = Utf8FromWide(data);
    p.device = Utf8FromWide(std::wstring_view(value, valueSize));
    if (ComNumber(p.name) > 0) ports.push_back(std::move(p));
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(),
            [](const ComPort& a, const ComPort& b) { return ComNumber(a.name) < ComNumber(b.name); });
  const std::map<std::string, Adapter> known = adapters();
  for (ComPort& p : ports) {
    if (const auto it = known.find(p.name); it != known.end()) {
      p.description = it->second.description;
      p.usbId = it->second.identity.usbId;
      p.serialNumber = it->second.identity.serialNumber;
    }
    p.state = stateOf(p.name);
  }
  return ports;
}

}  // namespace ostrel
