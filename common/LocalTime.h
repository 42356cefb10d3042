#pragma once
// The local calendar time of a moment, thread-safe on every platform (each has its own call;
// the build picks the file that makes it).
#include <ctime>

namespace ostrel {

std::tm LocalTimeOf(std::time_t moment);

}  // namespace ostrel
