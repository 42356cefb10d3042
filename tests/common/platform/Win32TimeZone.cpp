#include <cstdlib>
#include <ctime>

#include "tests/common/TimeZone.h"

namespace ostrel::testing {

void UseTimeZone(const char* rule) {
  _putenv_s("TZ", rule);
  _tzset();
}

}  // namespace ostrel::testing
