#include <cstdlib>
#include <ctime>

#include "tests/common/TimeZone.h"

namespace ostrel::testing {

void UseTimeZone(const char* rule) {
  setenv("TZ", rule, 1);
  tzset();
}

}  // namespace ostrel::testing
