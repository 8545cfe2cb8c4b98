#include "dravontaux64/file_log.h"

#include <cstdint>

#include "platform/clock.h"

namespace dravontaux64 {

namespace {

// Tick count of the first successful NowTime(); taken once, thread-safely.
std::uint32_t firstRecordTick() {
  static const std::uint32_t kFirst = platform::tickCount();
  return kFirst;
}

}  // namespace

std::string NowTime() {
  const std::string timeOfDay = platform::formatTime("%H:%M:%S", platform::localTimeNow().calendar);
  if (timeOfDay.empty()) return "Error in NowTime()";
  const std::uint32_t first = firstRecordTick();
  const long fraction = static_cast<long>((platform::tickCount() - first) % 1000u);
  char text[64];
  std::snprintf(text, sizeof text, "%s.%03ld", timeOfDay.c_str(), fraction);
  return text;
}

std::FILE*& Output2FILE::logStream() {
  static std::FILE* stream = stderr;
  return stream;
}

void Output2FILE::output(const std::string& record) {
  std::FILE* stream = logStream();
  if (stream == nullptr) return;
  std::string text;
  text.reserve(record.size() + 8);
  for (const char c : record) {
    if (c == '\n') text += '\r';
    text += c;
  }
  std::fprintf(stream, "%s", text.c_str());
  std::fflush(stream);
}

}  // namespace dravontaux64
