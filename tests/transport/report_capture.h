// Captures what the transport reports, for tests that check its lines.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "transport/xmlrpc_report.h"

namespace testing_support {

class ReportCapture : public Quillex::XmlRpcLogHandler, public Quillex::XmlRpcErrorHandler {
 public:
  explicit ReportCapture(int verbosity = 0)
      : previousLog_(getLogHandler()), previousError_(getErrorHandler()), previousVerbosity_(getVerbosity()) {
    setLogHandler(this);
    setErrorHandler(this);
    setVerbosity(verbosity);
  }
  ~ReportCapture() override {
    setLogHandler(previousLog_);
    setErrorHandler(previousError_);
    setVerbosity(previousVerbosity_);
  }

  void log(int, const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    logs_.emplace_back(text);
  }
  void error(const char* text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.emplace_back(text);
  }

  std::vector<std::string> errors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
  }
  std::vector<std::string> logs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return logs_;
  }
  // True iff some log line starts with `prefix`.
  bool logged(const std::string& prefix) const {
    for (const auto& line : logs()) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }

 private:
  XmlRpcLogHandler* previousLog_;
  XmlRpcErrorHandler* previousError_;
  int previousVerbosity_;
  mutable std::mutex mutex_;
  std::vector<std::string> logs_;
  std::vector<std::string> errors_;
};

}  // namespace testing_support
