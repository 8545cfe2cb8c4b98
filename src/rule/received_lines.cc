#include "rule/received_lines.h"

#include "platform/clock.h"
#include "text/utf8.h"
#include "trasvik/gateway_log.h"

namespace trasvik {

namespace {

constexpr long long kFirstYear = 1;
constexpr long long kLastYear = 9999;

// The value with every CR and LF turned into a blank.
std::string oneLine(std::string value) {
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return value;
}

}  // namespace

HeaderLines fittedLines(HeaderLines lines, bool compact, const std::string& messageId) {
  const std::size_t frame = (compact ? 1 : 2) + 2;  // ":" or ": ", and CR LF
  for (auto& [key, value] : lines) {
    value = oneLine(std::move(value));
    const std::size_t used = key.size() + frame;
    const std::size_t room = used < kLongestWrittenLine ? kLongestWrittenLine - used : 0;
    if (value.size() <= room) continue;
    const std::size_t length = value.size();
    value.resize(text::utf8Prefix(value, room).size());
    GATEWAY_WARNING("Message \"%s\": %s value of %zu bytes cut to %zu, so that its line stays shorter than 255 bytes",
                    oneLine(messageId).c_str(), key.c_str(), length, value.size());
  }
  return lines;
}

bool messageLocalTime(long long date, const std::string& messageId, std::tm& local) {
  if (date == 0) return false;
  local = platform::localTimeOf(static_cast<std::time_t>(date));
  const long long year = static_cast<long long>(local.tm_year) + 1900;
  // A day of month 0: the date did not convert, its year not even fitting an int.
  if (local.tm_mday != 0 && year >= kFirstYear && year <= kLastYear) return true;
  GATEWAY_WARNING("Message \"%s\": date %lld lies outside the years 1 to 9999 and is not written",
                  oneLine(messageId).c_str(), date);
  return false;
}

}  // namespace trasvik
