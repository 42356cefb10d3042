// The connect's probe on Windows: COM names are the system's own, and the device is opened
// as the port itself opens it (no sharing, overlapped) and closed again at once.
#include <windows.h>

#include "common/WideText.h"
#include "core/DeviceProbe.h"
#include "serial/NetworkAddress.h"
#include "serial/platform/Win32Device.h"

namespace ostrel {
namespace {

ProbeStatus classify(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST: return ProbeStatus::Missing;
    // Another program holds the port: Windows answers an exclusive open so.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return ProbeStatus::Busy;
    default: return ProbeStatus::OtherError;
  }
}

ProbeResult fail(DWORD code) {
  ProbeResult r;
  r.status = classify(code);
  r.errorNumber = static_cast<int>(code);
  r.systemText = Win32ErrorText(code);
  return r;
}

}  // namespace

ProbeResult DeviceProbe(const std::string& path) {
  // A port across the network has no device to look at: connecting tells.
  if (serial::IsNetworkUrl(path)) return ProbeResult{ProbeStatus::Ok, 0, {}, {}};
  const std::wstring name = WideFromUtf8(serial::Win32DevicePath(path));
  HANDLE h =
      CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return fail(GetLastError());
  // A name that opens but has no line behind it (a file, a pipe) is no serial port.
  DCB line{};
  line.DCBlength = sizeof line;
  const bool answers = GetCommState(h, &line) != 0;
  const DWORD code = answers ? 0 : GetLastError();
  CloseHandle(h);
  if (!answers) {
    ProbeResult r = fail(code);
    r.status = ProbeStatus::OtherError;
    return r;
  }
  ProbeResult r;
  r.status = ProbeStatus::Ok;
  return r;
}

std::string PortDevicePath(const std::string& deviceName) {
  // The window puts "\\.\" before the name it is given; a URL typed there is the network
  // port itself, without that prefix.
  static const std::string kPrefix = "\\\\.\\";
  const bool prefixed = deviceName.compare(0, kPrefix.size(), kPrefix) == 0;
  if (prefixed && serial::IsNetworkUrl(deviceName.substr(kPrefix.size()))) return deviceName.substr(kPrefix.size());
  return deviceName;
}

std::string PortMapFolder() { return {}; }

}  // namespace ostrel
