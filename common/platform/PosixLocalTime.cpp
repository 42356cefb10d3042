#include "common/LocalTime.h"

namespace ostrel {

std::tm LocalTimeOf(std::time_t moment) {
  std::tm tm{};
  localtime_r(&moment, &tm);
  return tm;
}

std::tm UtcTimeOf(std::time_t moment) {
  std::tm tm{};
  gmtime_r(&moment, &tm);
  return tm;
}

}  // namespace ostrel
