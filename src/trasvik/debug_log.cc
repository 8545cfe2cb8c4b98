#include "trasvik/debug_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/dynamic_library.h"
#include "trasvik/gateway_log.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

using DebugCall = void (*)(const char* facility, const char* format, ...);
using DebugFlagCall = int* (*)();

struct DebugExports {
  DebugCall write = nullptr;
  int* flag = nullptr;  // lives as long as the host library
};

// Looked up once: the host library stays loaded for the process's life.
const DebugExports& debugExports() {
  static const DebugExports exports = [] {
    DebugExports found;
    const auto flagCall =
        reinterpret_cast<DebugFlagCall>(platform::loadedSymbol("QnSys.dll", "QnLogDebugFlag"));
    found.write = reinterpret_cast<DebugCall>(platform::loadedSymbol("QnSys.dll", "QnLogDebugEx"));
    if (found.write != nullptr && flagCall != nullptr) found.flag = flagCall();
    return found;
  }();
  return exports;
}

}  // namespace

bool debugEnabled() {
  const DebugExports& exports = debugExports();
  return exports.flag != nullptr && std::atomic_ref<int>(*exports.flag).load(std::memory_order_relaxed) != 0;
}

void writeDebug(const char* format, ...) {
  if (!debugEnabled()) return;
  va_list arguments;
  va_start(arguments, format);
  const std::string text = formatTextV(format, arguments);
  va_end(arguments);
  debugExports().write(kLogFacility, "%s", text.c_str());
}

std::string secondsText(double seconds) { return formatText("%.3f", seconds); }

}  // namespace trasvik
