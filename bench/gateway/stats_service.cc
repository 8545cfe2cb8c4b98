#include "gateway/stats_service.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "support/temp_directory.h"

namespace gateway_bench {

namespace {

// The shell only redirects the service's standard error and then becomes
// the service (exec), so signals reach the service itself.
constexpr char kRedirectStandardError[] = "exec \"$@\" 2>\"$0\"";

}  // namespace

StatsService::StatsService(const std::string& store, const std::string& errorFile, std::string& error)
    : errorFile_(errorFile) {
  child_ = platform::ChildProcess::start(
      {"sh", "-c", kRedirectStandardError, errorFile, DRAVONT_SERVICE, "--port", "0", "--store", store, "--stats"}, true,
      error);
  if (!child_) return;
  const std::optional<std::string> line = child_->readLine(10000);
  port_ = line ? std::atoi(line->c_str()) : 0;
  if (port_ <= 0) {
    error = "dravont-service printed no port: " + testing_support::readFile(errorFile_);
    port_ = 0;
  }
}

StatsService::~StatsService() {
  if (child_) child_->kill();
}

std::optional<ServiceCounts> StatsService::stop(std::string& error) {
  if (!child_) {
    error = "dravont-service is not running";
    return std::nullopt;
  }
  child_->terminate();
  const std::optional<int> status = child_->wait(30000);
  child_.reset();
  if (status != 0) {
    error = "dravont-service did not stop in order";
    return std::nullopt;
  }
  std::istringstream lines(testing_support::readFile(errorFile_));
  for (std::string line; std::getline(lines, line);) {
    ServiceCounts counts;
    if (std::sscanf(line.c_str(), "dravont-service: %" SCNu64 " calls answered, %" SCNu64 " durable flushes",
                    &counts.calls, &counts.flushes) == 2) {
      return counts;
    }
  }
  error = "dravont-service printed no counts";
  return std::nullopt;
}

}  // namespace gateway_bench
