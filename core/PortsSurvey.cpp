#include "core/PortsSurvey.h"

#include <unistd.h>

#include <filesystem>

#include "core/DeviceHolders.h"
#include "core/DeviceMap.h"

namespace ostrel {
namespace {

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

std::vector<FileIdentity> identities(const std::vector<PortStatus>& ports) {
  std::vector<FileIdentity> ids;
  for (const PortStatus& p : ports) ids.push_back(IdentifyFile(p.device.path).value_or(FileIdentity{}));
  return ids;
}

int deviceIndex(const std::vector<FileIdentity>& ids, const std::string& path) {
  const auto id = IdentifyFile(path);
  for (std::size_t i = 0; id && i < ids.size(); ++i)
    if (ids[i] == *id) return static_cast<int>(i);
  return -1;
}

void joinMap(PortsSurvey& s, const std::vector<FileIdentity>& ids) {
  for (const MapEntry& e : s.map.entries) {
    MappedName m{e, e.problem.empty() ? deviceIndex(ids, e.resolved) : -1};
    if (m.device >= 0) s.ports[static_cast<std::size_t>(m.device)].comNames.push_back(e.name);
    s.names.push_back(std::move(m));
  }
  for (PortStatus& p : s.ports) {
    if (p.device.kind != SerialKind::OnBoard) continue;
    const int n = std::stoi(p.device.name.substr(4)) + 1;
    if (n <= kLastComNumber && !s.map.find(n)) p.defaultComName = "COM" + std::to_string(n);
  }
}

void joinUse(PortsSurvey& s, const SurveyInput& in, const std::vector<FileIdentity>& ids) {
  for (const OwnUse& own : in.ownUse)
    if (const int i = deviceIndex(ids, own.path); i >= 0)
      s.ports[static_cast<std::size_t>(i)].usedBy.push_back(own.label);
  const auto holders =
      FindDeviceHolders((std::filesystem::path(in.root) / "proc").string(), ids, static_cast<int>(::getpid()));
  for (std::size_t i = 0; i < holders.size(); ++i)
    for (const DeviceHolder& h : holders[i]) s.ports[i].usedBy.push_back(h.describe());
}

void addNotes(PortsSurvey& s, const SerialDeviceList& found) {
  bool usb = false;
  for (const SerialDevice& d : found.devices) usb |= d.kind != SerialKind::OnBoard;
  if (found.devices.empty()) s.notes.push_back("No serial device found. Plug in the USB serial adapter.");
  if (!found.stableNamesFolderExists)
    s.notes.push_back(usb ? "There is no /dev/serial/by-id folder, so a COM name links to /dev/ttyUSBn or "
                            "/dev/ttyACMn itself, whose number can change when adapters are plugged in another order."
                          : "There is no /dev/serial/by-id folder: no USB serial adapter has been plugged in since the "
                            "computer started.");
  if (!s.map.problem.empty())
    s.notes.push_back(s.map.problem);
  else if (!s.map.exists)
    s.notes.push_back("The device map folder " + s.map.folder + " does not exist yet; the first COM name makes it.");
}

}  // namespace

std::string PortStatus::comNamesText() const {
  std::vector<std::string> all = comNames;
  if (!defaultComName.empty()) all.push_back(defaultComName + " (default)");
  return joined(all, ", ");
}

PortsSurvey SurveyPorts(const SurveyInput& in) {
  PortsSurvey s;
  const SerialDeviceList found = FindSerialDevices(in.root);
  for (const SerialDevice& d : found.devices) {
    PortStatus p;
    p.device = d;
    p.access = CheckDeviceAccess(d.path, in.credentials);
    s.ports.push_back(std::move(p));
  }
  s.map = ReadDeviceMap(in.mapFolder);
  const auto ids = identities(s.ports);
  joinMap(s, ids);
  joinUse(s, in, ids);
  addNotes(s, found);
  return s;
}

std::string PortsSurvey::replaceQuestion(std::size_t port, const std::string& typed) const {
  const std::string name = CanonicalComName(typed);
  if (name.empty() || port >= ports.size()) return {};
  const std::string& who = ports[port].device.name;
  for (const MappedName& m : names) {
    if (m.entry.name != name || m.device == static_cast<int>(port)) continue;
    const std::string now = m.device >= 0 ? ports[static_cast<std::size_t>(m.device)].device.name
                                          : m.entry.resolved + (m.entry.targetExists ? "" : ", which is missing");
    return name + " leads to " + now + " now. Give " + name + " to " + who + " instead?";
  }
  for (std::size_t i = 0; i < ports.size(); ++i)
    if (i != port && ports[i].defaultComName == name)
      return name + " reaches " + ports[i].device.name + " by default. Give " + name + " to " + who + " instead?";
  return {};
}

MapChange GiveComName(const PortsSurvey& s, std::size_t port, const std::string& typed) {
  if (port >= s.ports.size()) return {false, "Choose a serial device first."};
  if (!s.map.problem.empty()) return {false, s.map.problem};
  const PortStatus& p = s.ports[port];
  MapChange change = SetComName(s.map.folder, typed, p.device.linkTarget());
  if (!change.ok) return change;
  const std::string name = CanonicalComName(typed);
  for (const std::string& old : p.comNames) {
    if (old == name) continue;
    const MapChange removed = RemoveComName(s.map.folder, old);
    change.message += removed.ok ? " " + old + " no longer does." : " " + removed.message;
  }
  return change;
}

}  // namespace ostrel
