#include <gtest/gtest.h>

#include "common/LocalTime.h"
#include "tests/common/TimeZone.h"

namespace ostrel {
namespace {

// 2026-12-31 23:30:00 UTC.
constexpr std::time_t kNewYearsEve = 1798759800;

TEST(LocalTime, OffsetFromUtcEastWestAndAcrossTheYearsEnd) {
  struct Case {
    const char* zone;
    std::time_t moment;
    int minutes;
  } cases[] = {
      {"UTC0", kNewYearsEve, 0},
      {"EST5", kNewYearsEve, -300},            // still 18:30 on the 31st
      {"IST-5:30", kNewYearsEve, 330},         // already 05:00 on 1 January
      {"CET-1", kNewYearsEve, 60},             // 00:30 on 1 January: the local year is ahead
      {"NST3:30", kNewYearsEve + 3600, -210},  // 1 January in UTC, the 31st here
  };
  for (const Case& c : cases) {
    testing::UseTimeZone(c.zone);
    EXPECT_EQ(UtcOffsetMinutes(c.moment), c.minutes) << c.zone;
  }
  testing::UseTimeZone("CET-1");
  const std::tm local = LocalTimeOf(kNewYearsEve), utc = UtcTimeOf(kNewYearsEve);
  EXPECT_EQ(local.tm_year + 1900, 2027);
  EXPECT_EQ(local.tm_hour, 0);
  EXPECT_EQ(utc.tm_year + 1900, 2026);
  EXPECT_EQ(utc.tm_hour, 23);
  testing::UseTimeZone("UTC0");
}

}  // namespace
}  // namespace ostrel
