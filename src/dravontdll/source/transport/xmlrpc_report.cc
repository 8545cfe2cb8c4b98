#include "transport/xmlrpc_report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/thread.h"

namespace Quillex {

namespace {

constexpr std::size_t kReportBufferSize = 2048;

// The default handlers are never destroyed: a client closed while the
// library unloads, after the runtime's exit handlers ran, may still report.
// They live in static storage, which goes with the library's image.
alignas(DefaultLogHandler) unsigned char defaultLogHandlerStorage[sizeof(DefaultLogHandler)];
alignas(DefaultErrorHandler) unsigned char defaultErrorHandlerStorage[sizeof(DefaultErrorHandler)];
XmlRpcLogHandler* currentLogHandler = new (defaultLogHandlerStorage) DefaultLogHandler;
XmlRpcErrorHandler* currentErrorHandler = new (defaultErrorHandlerStorage) DefaultErrorHandler;
// Read on every report of every thread; atomic so that changing it while
// other threads call is well defined.
std::atomic<int> currentVerbosity{0};

// Formats into `buffer` (cut at 2047 characters) and appends the thread
// suffix when the whole text still fits.
void composeReport(char (&buffer)[kReportBufferSize], const char* format, va_list arguments) {
  const int written = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  if (written < 0) {
    buffer[0] = '\0';
    return;
  }
  const std::size_t length = std::strlen(buffer);
  char suffix[32];
  const int suffixLength = std::snprintf(suffix, sizeof suffix, ";TID=%d", platform::currentThreadId());
  if (static_cast<std::size_t>(written) == length && length + static_cast<std::size_t>(suffixLength) < kReportBufferSize - 1) {
    std::memcpy(buffer + length, suffix, static_cast<std::size_t>(suffixLength) + 1);
  }
}

}  // namespace

XmlRpcLogHandler* XmlRpcLogHandler::getLogHandler() { return currentLogHandler; }
void XmlRpcLogHandler::setLogHandler(XmlRpcLogHandler* handler) { currentLogHandler = handler; }
int XmlRpcLogHandler::getVerbosity() { return currentVerbosity.load(std::memory_order_relaxed); }
void XmlRpcLogHandler::setVerbosity(int verbosity) { currentVerbosity.store(verbosity, std::memory_order_relaxed); }

XmlRpcErrorHandler* XmlRpcErrorHandler::getErrorHandler() { return currentErrorHandler; }
void XmlRpcErrorHandler::setErrorHandler(XmlRpcErrorHandler* handler) { currentErrorHandler = handler; }

void DefaultLogHandler::log(int level, const char* text) {
  if (level > XmlRpcLogHandler::getVerbosity()) return;
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void DefaultErrorHandler::error(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void report(int level, const char* format, ...) {
  if (level > XmlRpcLogHandler::getVerbosity() || currentLogHandler == nullptr) return;
  char buffer[kReportBufferSize];
  va_list arguments;
  va_start(arguments, format);
  composeReport(buffer, format, arguments);
  va_end(arguments);
  currentLogHandler->log(level, buffer);
}

void reportError(const char* format, ...) {
  if (currentErrorHandler == nullptr) return;
  char buffer[kReportBufferSize];
  va_list arguments;
  va_start(arguments, format);
  composeReport(buffer, format, arguments);
  va_end(arguments);
  currentErrorHandler->error(buffer);
}

}  // namespace Quillex
