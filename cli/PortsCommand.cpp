// ostrel-cli ports: the serial devices of this computer and the device map,
// as the window's Tools > "Serial ports…" dialog surveys them; and the two
// changes that dialog makes, giving a device a COM name and removing one.
#include <algorithm>
#include <cstdlib>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Exit.h"
#include "cli/PortsReport.h"
#include "cli/Records.h"
#include "core/DeviceMap.h"
#include "core/PortsSurvey.h"

namespace ostrel::cli {
namespace {

const char* kHelp =
    "Usage: ostrel-cli ports [--json] [--quiet]\n"
    "       ostrel-cli ports --map COMn DEVICE [--replace]\n"
    "       ostrel-cli ports --unmap COMn\n"
    "\n"
    "Lists the serial devices of this computer: USB adapters (ttyUSB, ttyACM) with\n"
    "their maker, product, serial number, driver and stable name under\n"
    "/dev/serial/by-id, and the on-board ttyS ports behind which the kernel found a\n"
    "UART. For each: its COM name (an on-board ttySn is COM(n+1) by default), the\n"
    "programs that hold it open (all of them for root, this user's otherwise), and\n"
    "whether this user may open it, with the remedy when not. Then the device map:\n"
    "each COM name, where its link leads, and what is wrong with it (a missing\n"
    "target, an entry that is not a link). Then notes on anything in the way.\n"
    "\n"
    "  --json            one JSON document with the devices, the map and the notes\n"
    "  --map COMn DEVICE give DEVICE the name COMn: a link to its stable name when it\n"
    "                    has one; its other COM names are removed (a device keeps\n"
    "                    one). DEVICE: ttyUSB0, /dev/ttyUSB0, its by-id name or path.\n"
    "  --replace         let --map take a name that leads to another device now\n"
    "  --unmap COMn      remove the COM name (only links are ever removed)\n"
    "\n"
    "The device map folder is $OSTREL_DEVICE_DIR, else $XDG_CONFIG_HOME/ostrel/ports\n"
    "or ~/.config/ostrel/ports. COMn without an entry is the on-board /dev/ttyS(n-1).\n"
    "\n"
    "Exit: 0 listed or changed, 2 bad usage or a change refused (nothing changed).\n";

// "--map COMn DEVICE": the option takes two words; the second is taken out
// here so that the rest parses as ordinary options.
std::string takeMapDevice(Words& words) {
  const auto at = std::find_if(words.begin(), words.end(),
                               [](const std::string& w) { return w == "--map" || w.rfind("--map=", 0) == 0; });
  if (at == words.end()) return {};
  const auto device = at + (*at == "--map" ? 2 : 1);
  const auto isOption = [](const std::string& w) { return w.rfind("--", 0) == 0; };
  if (device >= words.end() || isOption(*device) || (device - at == 2 && isOption(*(at + 1))))
    throw UsageError("--map needs a COM name and a device, e.g. --map COM3 ttyUSB0");
  std::string named = *device;
  words.erase(device);
  return named;
}

std::string deviceList(const PortsSurvey& s) {
  std::string names;
  for (const PortStatus& p : s.ports) names += (names.empty() ? "" : ", ") + p.device.name;
  return names.empty() ? "no serial device is present" : "the serial devices are " + names;
}

int changed(const MapChange& change, const Console& console) {
  if (!change.ok) throw UsageError(OneLine(change.message));
  if (!console.quiet()) WriteRecord(1, change.message + "\n");
  return kExitOk;
}

}  // namespace

int PortsCommand(const Words& given) {
  Words words = given;
  const std::string mapDevice = takeMapDevice(words);
  const Args args("ports",
                  {{"--help", false, "-h"},
                   {"--quiet", false, "-q"},
                   {"--verbose", false, "-v"},
                   {"--json", false, ""},
                   {"--map", true, ""},
                   {"--replace", false, ""},
                   {"--unmap", true, ""}},
                  words);
  if (args.has("--help")) return PrintHelp(kHelp);
  const int changes = args.has("--map") + args.has("--unmap");
  if (changes > 1) throw UsageError("give one of --map and --unmap");
  if (changes > 0 && args.has("--json")) throw UsageError("--json lists; it does not go with --map or --unmap");
  if (args.has("--replace") && !args.has("--map")) throw UsageError("--replace goes with --map");
  const Console console(args.has("--quiet"), args.has("--verbose"));

  SurveyInput in;
  in.root = DeviceRootDir(std::getenv("OSTREL_DEVICE_ROOT"));
  in.mapFolder = DeviceMapDir(std::getenv("OSTREL_DEVICE_DIR"));
  in.credentials = Credentials::Current();
  const PortsSurvey survey = SurveyPorts(in);

  if (args.has("--unmap")) return changed(RemoveComName(survey.map.folder, args.text("--unmap")), console);
  if (args.has("--map")) {
    const std::string name = args.text("--map");
    if (CanonicalComName(name).empty()) throw UsageError(ComNameRangeText(name));
    const int port = FindSurveyedDevice(survey, mapDevice);
    if (port < 0) throw UsageError("no serial device '" + mapDevice + "': " + deviceList(survey));
    const std::string question = survey.replaceQuestion(static_cast<std::size_t>(port), name);
    if (!question.empty() && !args.has("--replace"))
      throw UsageError(question + " Add --replace to give it; nothing was changed.");
    return changed(GiveComName(survey, static_cast<std::size_t>(port), name), console);
  }
  WriteRecord(1, args.has("--json") ? PortsJson(survey) : PortsTables(survey, !console.quiet()));
  return kExitOk;
}

}  // namespace ostrel::cli
