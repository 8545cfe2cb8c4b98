// Time: the monotonic tick count, sleeping, the local wall-clock time used
// in log records and the UTC date received files are named by. Thread-safe.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

// Milliseconds since an unspecified start, from a monotonic clock, wrapping
// at 2^32 like the tick count the gateway was written for.
std::uint32_t tickCount();

void sleepMilliseconds(unsigned milliseconds);

struct LocalTime {
  std::tm calendar{};      // local broken-down time
  int milliseconds = 0;    // 0..999
};

LocalTime localTimeNow();

// Converts a time since the epoch to local broken-down time; a time the
// system cannot convert gives every field 0 (tm_mday 0, no day).
std::tm localTimeOf(std::time_t seconds);

// The current date and time in UTC, broken down.
std::tm utcTimeNow();

// strftime into a string ("" when the result would be empty or too long).
std::string formatTime(const char* format, const std::tm& calendar);

}  // namespace platform
