// dravont-service run for a measurement: on a free port of 127.0.0.1 with a
// store of its own and --stats, its standard error kept in a file, so that
// the counts it prints when it stops in order can be read. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/child_process.h"

namespace gateway_bench {

// What the service did between its start and its orderly stop.
struct ServiceCounts {
  std::uint64_t calls = 0;    // XML-RPC calls answered
  std::uint64_t flushes = 0;  // fsync calls on files and directories
};

class StatsService {
 public:
  // Starts the service on `store` with its standard error going to
  // `errorFile`. On failure port() is 0 and `error` says why.
  StatsService(const std::string& store, const std::string& errorFile, std::string& error);
  ~StatsService();
  StatsService(const StatsService&) = delete;
  StatsService& operator=(const StatsService&) = delete;

  int port() const { return port_; }
  // Stops the service with SIGTERM and reads the line --stats printed;
  // nullopt with `error` set when it did not stop in order or printed none.
  std::optional<ServiceCounts> stop(std::string& error);

 private:
  std::unique_ptr<platform::ChildProcess> child_;
  std::string errorFile_;
  int port_ = 0;
};

}  // namespace gateway_bench
