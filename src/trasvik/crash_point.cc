#include "trasvik/crash_point.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/process.h"

namespace trasvik {

namespace {

struct CrashPlan {
  std::string point;  // empty: no crash planned
  long remaining = 1;
};

CrashPlan readPlan(const char* variable) {
  CrashPlan plan;
  const std::optional<std::string> value = platform::environmentVariable(variable);
  if (!value) return plan;
  const std::size_t colon = value->find(':');
  plan.point = value->substr(0, colon);
  if (colon != std::string::npos) plan.remaining = std::strtol(value->c_str() + colon + 1, nullptr, 10);
  return plan;
}

}  // namespace

void crashPoint(const char* point) {
  static CrashPlan crash = readPlan("TRASVIK_CRASH_AT");
  static CrashPlan hang = readPlan("TRASVIK_HANG_AT");
  if (!crash.point.empty() && crash.point == point && --crash.remaining <= 0) platform::killCurrentProcess();
  if (!hang.point.empty() && hang.point == point && --hang.remaining <= 0) {
    for (;;) platform::sleepMilliseconds(60000);
  }
}

}  // namespace trasvik
