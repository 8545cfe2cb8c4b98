#include "platform/clock.h"

#include <windows.h>

#include <time.h>

namespace platform {

std::uint32_t tickCount() { return ::GetTickCount(); }

void sleepMilliseconds(unsigned milliseconds) { ::Sleep(milliseconds); }

LocalTime localTimeNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  LocalTime result;
  result.calendar.tm_year = now.wYear - 1900;
  result.calendar.tm_mon = now.wMonth - 1;
  result.calendar.tm_mday = now.wDay;
  result.calendar.tm_hour = now.wHour;
  result.calendar.tm_min = now.wMinute;
  result.calendar.tm_sec = now.wSecond;
  result.calendar.tm_wday = now.wDayOfWeek;
  result.calendar.tm_isdst = -1;
  result.milliseconds = now.wMilliseconds;
  return result;
}

std::tm localTimeOf(std::time_t seconds) {
  std::tm calendar{};
  // The runtime converts 1970 to 3000 only and fills every field with -1
  // outside: such a time converts to nothing, as a failed localtime_r.
  if (::localtime_s(&calendar, &seconds) != 0) return std::tm{};
  return calendar;
}

std::tm utcTimeNow() {
  const std::time_t now = ::time(nullptr);
  std::tm calendar{};
  ::gmtime_s(&calendar, &now);
  return calendar;
}

}  // namespace platform
