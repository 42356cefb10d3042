#pragma once
// Sets the process's time zone from a POSIX-style rule such as "EST5" or "IST-5:30" (the
// platform's own call, one file each).
namespace ostrel::testing {

void UseTimeZone(const char* rule);

}  // namespace ostrel::testing
