// The console table of Google Benchmark, then the figures the gateway is
// judged by: throughput, calls and flushes per file, and its ratios to the
// floor and to a plain copy, each measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace gateway_bench {

// Names of the benchmarks the figures are computed from.
inline constexpr char kRoundTrip[] = "BM_RawRoundTrip";
inline constexpr char kDurableWrite[] = "BM_DurableWrite";
inline constexpr char kFlushedCopy[] = "BM_FlushedCopy";
inline constexpr char kSmallFiles[] = "BM_GatewaySmallFiles";
inline constexpr char kSmallFilesBatch[] = "BM_GatewaySmallFilesBatch";
inline constexpr char kStateFileCost[] = "BM_GatewayStateFileCost";
inline constexpr char kSmallMsgFiles[] = "BM_GatewaySmallMsgFiles";
// Single mode with as many plain files as there are ".msg" files: a pass's
// fixed cost (B's first pause) weighs alike in both.
inline constexpr char kSmallFilesMsgCount[] = "BM_GatewaySmallFilesMsgCount";
inline constexpr char kSmallEnvelopePairs[] = "BM_GatewaySmallEnvelopePairs";
inline constexpr char kLargeFiles[] = "BM_GatewayLargeFiles";

// Counters an exchange benchmark sets.
inline constexpr char kFiles[] = "files";
inline constexpr char kFileBytes[] = "bytes_per_file";
inline constexpr char kCallsPerFile[] = "calls_per_file";
inline constexpr char kFlushesPerFile[] = "flushes_per_file";  // the service's
inline constexpr char kSenderFlushesPerFile[] = "sender_flushes_per_file";
inline constexpr char kReceiverFlushesPerFile[] = "receiver_flushes_per_file";
inline constexpr char kSenderSeconds[] = "sender_seconds";
inline constexpr char kFirstArrivalSeconds[] = "first_arrival_seconds";
inline constexpr char kRateWithState[] = "files_per_s_with_state";
inline constexpr char kRateWithoutState[] = "files_per_s_without_state";
inline constexpr char kSenderRateWithState[] = "sender_files_per_s_with_state";
inline constexpr char kSenderRateWithoutState[] = "sender_files_per_s_without_state";

class GatewayReporter : public benchmark::ConsoleReporter {
 public:
  // Without colour codes: `make bench` output is often kept in a file.
  GatewayReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  // Prints what the runs gave; figures whose runs failed are left out.
  void printFigures() const;

 private:
  struct Measured {
    double seconds = 0;  // per iteration (an exchange has one)
    std::map<std::string, double> counters;
  };
  const Measured* find(const char* name) const;
  void printExchange(const char* title, const Measured& exchange) const;

  std::map<std::string, Measured> measured_;
};

}  // namespace gateway_bench
