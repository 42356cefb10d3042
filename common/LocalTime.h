#pragma once
// The local calendar time of a moment, thread-safe on every platform (each has its own call;
// the build picks the file that makes it).
#include <ctime>

namespace ostrel {

std::tm LocalTimeOf(std::time_t moment);
std::tm UtcTimeOf(std::time_t moment);

// Minutes the local time of the moment is ahead of UTC (negative west of Greenwich), from the
// two calendar times: strftime's %z gives the zone's name instead on some platforms.
int UtcOffsetMinutes(std::time_t moment);

}  // namespace ostrel
