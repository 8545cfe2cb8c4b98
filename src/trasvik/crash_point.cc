#include "trasvik/crash_point.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "platform/process.h"

namespace trasvik {

namespace {

struct CrashPlan {
  std::string point;  // empty: no crash planned
  long remaining = 1;
};

CrashPlan readPlan() {
  CrashPlan plan;
  const std::optional<std::string> value = platform::environmentVariable("TRASVIK_CRASH_AT");
  if (!value) return plan;
  const std::size_t colon = value->find(':');
  plan.point = value->substr(0, colon);
  if (colon != std::string::npos) plan.remaining = std::strtol(value->c_str() + colon + 1, nullptr, 10);
  return plan;
}

}  // namespace

void crashPoint(const char* point) {
  static CrashPlan plan = readPlan();
  if (plan.point.empty() || plan.point != point) return;
  if (--plan.remaining <= 0) platform::killCurrentProcess();
}

}  // namespace trasvik
