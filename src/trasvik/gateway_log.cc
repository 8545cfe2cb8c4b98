#include "trasvik/gateway_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "trasvik/text_format.h"

namespace trasvik {

namespace {

std::mutex observerMutex;
std::function<void(const std::string&)> fatalObserver;

}  // namespace

void logFatal(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const std::string text = formatTextV(format, arguments);
  va_end(arguments);
  QnLogFatalEx(kLogFacility, "%s", text.c_str());
  std::function<void(const std::string&)> observer;
  {
    std::lock_guard<std::mutex> lock(observerMutex);
    observer = fatalObserver;
  }
  if (observer) observer(text);
}

void reportStartFailure(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
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
