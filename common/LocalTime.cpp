#include "common/LocalTime.h"

namespace ostrel {

int UtcOffsetMinutes(std::time_t moment) {
  const std::tm local = LocalTimeOf(moment), utc = UtcTimeOf(moment);
  // The two dates differ by a day at most; across a year's end the earlier one is the 31st.
  int days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
  return ((days * 24 + local.tm_hour - utc.tm_hour) * 60) + local.tm_min - utc.tm_min;
}

}  // namespace ostrel
