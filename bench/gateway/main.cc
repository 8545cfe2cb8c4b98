// The gateway end to end on this machine, in one run: A's gateway sends
// files that B's gateway receives and confirms, once many small files (and
// half as many, alternately by gateways with and without a state file) and
// once many small files several to a message (batch mode), once small
// ".msg" files through a MSG rule and as many small envelope pairs through
// UA rules beside as many small plain files, once a few large ones, beside
// what the machine allows at the least (raw
// loopback round trips, durable writes, a flushed copy). Prints Google
// Benchmark's table, then the figures and the ratios they are judged by.
//
//   gateway_bench [SMALL_FILES [LARGE_FILES [MSG_FILES]]] [--benchmark_... flags]
//
// SMALL_FILES files of 1 KiB (default 2000), LARGE_FILES files of 10 MiB
// (default 20), MSG_FILES ".msg" files of 1 KiB, header included, and as
// many envelope pairs with data files of 1 KiB (default 500). Everything
// is written under the system's temporary
// directory and removed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gateway/exchange.h"
#include "gateway/figures.h"
#include "gateway/floors.h"
#include "support/raw_round_trip.h"

namespace {

using namespace gateway_bench;

constexpr std::size_t kSmallFileBytes = 1 << 10;
constexpr std::size_t kLargeFileBytes = 10 << 20;
// Batch mode's limit: 64 small files to a message.
constexpr std::uint32_t kBatchLimit = 64 << 10;

// One exchange as one iteration, timed by the exchange itself (its files
// are prepared outside the time).
void measureExchange(benchmark::State& state, int files, std::size_t bytes, std::uint32_t maxAttachmentSize = 0,
                     Outgoing outgoing = Outgoing::kPlainFiles, bool keepState = true) {
  for (auto _ : state) {
    const ExchangeResult result = runExchange(files, bytes, maxAttachmentSize, outgoing, keepState);
    if (!result.error.empty()) {
      state.SkipWithError(result.error.c_str());
      break;
    }
    state.SetIterationTime(result.seconds);
    state.counters[kFiles] = files;
    state.counters[kFileBytes] = static_cast<double>(bytes);
    state.counters[kCallsPerFile] = static_cast<double>(result.counts.calls) / files;
    state.counters[kFlushesPerFile] = static_cast<double>(result.counts.flushes) / files;
    state.counters[kSenderFlushesPerFile] = static_cast<double>(result.senderFlushes) / files;
    state.counters[kReceiverFlushesPerFile] = static_cast<double>(result.receiverFlushes) / files;
    state.counters[kSenderSeconds] = result.senderSeconds;
    state.counters[kFirstArrivalSeconds] = result.firstArrivalSeconds;
  }
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// What the state file costs: exchanges of small files by gateways that keep
// one and by gateways that keep none, alternating, three of each, so that
// load that comes and goes meets both alike; the median rate of each.
void measureStateFileCost(benchmark::State& state, int files) {
  for (auto _ : state) {
    std::vector<double> rates[2];
    std::vector<double> senderRates[2];
    double seconds = 0;
    for (int round = 0; round < 3; ++round) {
      for (const bool keepState : {true, false}) {
        const ExchangeResult result = runExchange(files, kSmallFileBytes, 0, Outgoing::kPlainFiles, keepState);
        if (!result.error.empty()) {
          state.SkipWithError(result.error.c_str());
          return;
        }
        rates[keepState].push_back(files / result.seconds);
        senderRates[keepState].push_back(files / result.senderSeconds);
        seconds += result.seconds;
      }
    }
    state.SetIterationTime(seconds);
    state.counters[kFiles] = files;
    state.counters[kRateWithState] = median(rates[true]);
    state.counters[kRateWithoutState] = median(rates[false]);
    state.counters[kSenderRateWithState] = median(senderRates[true]);
    state.counters[kSenderRateWithoutState] = median(senderRates[false]);
  }
}

// A count from the command line, or `fallback` when it is not given.
int countArgument(int argc, char** argv, int index, int fallback) {
  if (argc <= index) return fallback;
  const int count = std::atoi(argv[index]);
  if (count <= 0) {
    std::fprintf(stderr, "gateway_bench: \"%s\" is no number of files\n", argv[index]);
    std::exit(2);
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const int smallFiles = countArgument(argc, argv, 1, 2000);
  const int largeFiles = countArgument(argc, argv, 2, 20);
  const int msgFiles = countArgument(argc, argv, 3, 500);

  benchmark::RegisterBenchmark(kRoundTrip, [](benchmark::State& state) {
    bench_support::runRawRoundTrip(state, bench_support::kSmallCallRequestSize, bench_support::kSmallCallAnswerSize);
  })->UseRealTime();
  benchmark::RegisterBenchmark(kDurableWrite, [](benchmark::State& state) {
    runDurableWrites(state, kSmallFileBytes);
  })->UseRealTime();
  benchmark::RegisterBenchmark(kSmallFiles, [smallFiles](benchmark::State& state) {
    measureExchange(state, smallFiles, kSmallFileBytes);
  })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark(kStateFileCost, [smallFiles](benchmark::State& state) {
    measureStateFileCost(state, smallFiles / 2);
  })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark(kSmallFilesBatch, [smallFiles](benchmark::State& state) {
    measureExchange(state, smallFiles, kSmallFileBytes, kBatchLimit);
  })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark(kSmallFilesMsgCount, [msgFiles](benchmark::State& state) {
    measureExchange(state, msgFiles, kSmallFileBytes);
  })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark(kSmallMsgFiles, [msgFiles](benchmark::State& state) {
    measureExchange(state, msgFiles, kSmallFileBytes, 0, Outgoing::kMsgFiles);
  })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark(kSmallEnvelopePairs, [msgFiles](benchmark::State& state) {
    measureExchange(state, msgFiles, kSmallFileBytes, 0, Outgoing::kEnvelopePairs);
  })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
  benchmark::RegisterBenchmark(kFlushedCopy, [](benchmark::State& state) {
    runFlushedCopies(state, kLargeFileBytes);
    state.counters[kFileBytes] = static_cast<double>(kLargeFileBytes);
  })->UseRealTime()->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark(kLargeFiles, [largeFiles](benchmark::State& state) {
    measureExchange(state, largeFiles, kLargeFileBytes);
  })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

  GatewayReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printFigures();
  benchmark::Shutdown();
  return 0;
}
