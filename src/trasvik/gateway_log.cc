#include "trasvik/gateway_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace trasvik {

namespace {

std::mutex observerMutex;
std::function<void(const std::string&)> fatalObserver;

}  // namespace

void logFatal(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  va_end(arguments);
  QnLogFatalEx(kLogFacility, "%s", text.c_str());
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard<std::mutex> lock(observerMutex);
    observer = fatalObserver;
  }
  if (observer) observer(text);
}

void observeFatalRecords(std::function<void(const std::string& text)> observer) {
  std::lock_guard<std::mutex> lock(observerMutex);
  fatalObserver = std::move(observer);
}

}  // namespace trasvik
