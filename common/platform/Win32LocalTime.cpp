#include "common/LocalTime.h"

namespace ostrel {

std::tm LocalTimeOf(std::time_t moment) {
  std::tm tm{};
  localtime_s(&tm, &moment);
  return tm;
}

std::tm UtcTimeOf(std::time_t moment) {
  std::tm tm{};
  gmtime_s(&tm, &moment);
  return tm;
}

}  // namespace ostrel
