#pragma once
// The survey of the serial ports as ostrel-cli shows it: tables for a
// person, one JSON document for a script. Both say the same facts.
#include <string>

#include "core/PortsSurvey.h"

namespace ostrel::cli {

// The serial devices, their stable names, the permission remedies, the
// device map and (withNotes) the notes, as aligned text.
std::string PortsTables(const PortsSurvey& survey, bool withNotes);

// Everything of the survey as one JSON document (UTF-8).
std::string PortsJson(const PortsSurvey& survey);

// The index in survey.ports of the device a user named: its kernel name
// ("ttyUSB0"), its node, its stable name (path or file name), or any path
// that leads to the same device. -1 when none of them is meant.
int FindSurveyedDevice(const PortsSurvey& survey, const std::string& named);

}  // namespace ostrel::cli
