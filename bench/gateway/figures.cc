#include "gateway/figures.h"

#include <cstdio>

namespace gateway_bench {

namespace {

constexpr double kMiB = 1 << 20;

double counter(const std::map<std::string, double>& counters, const char* name) {
  const auto found = counters.find(name);
  return found == counters.end() ? 0 : found->second;
}

}  // namespace

void GatewayReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.run_type != Run::RT_Iteration || run.iterations == 0 || run.error_occurred) continue;
    Measured& entry = measured_[run.run_name.function_name];
    entry.seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
    for (const auto& [name, value] : run.counters) entry.counters[name] = value.value;
  }
  ConsoleReporter::ReportRuns(runs);
}

const GatewayReporter::Measured* GatewayReporter::find(const char* name) const {
  const auto found = measured_.find(name);
  return found == measured_.end() ? nullptr : &found->second;
}

void GatewayReporter::printExchange(const char* title, const Measured& exchange) const {
  const double files = counter(exchange.counters, kFiles);
  const double bytes = counter(exchange.counters, kFileBytes);
  const double calls = counter(exchange.counters, kCallsPerFile);
  const double serviceFlushes = counter(exchange.counters, kFlushesPerFile);
  const double senderFlushes = counter(exchange.counters, kSenderFlushesPerFile);
  const double receiverFlushes = counter(exchange.counters, kReceiverFlushesPerFile);
  // Every process's flushes stand in the floor: each is a wait for the disk.
  const double flushes = serviceFlushes + senderFlushes + receiverFlushes;
  const double perFile = exchange.seconds / files;
  std::printf("\n%s: %.0f files of %.0f KiB, A sends, B receives and confirms, both at once\n", title, files,
              bytes / 1024);
  std::printf("  wall time, start of both gateways to the last file  %9.2f s\n", exchange.seconds);
  std::printf("  files/s                                              %9.1f\n", files / exchange.seconds);
  const double senderSeconds = counter(exchange.counters, kSenderSeconds);
  std::printf("  files/s of A alone (until its out directory is empty) %8.1f\n", files / senderSeconds);
  std::printf("  MiB/s                                                %9.2f\n", files * bytes / kMiB / exchange.seconds);
  std::printf("  RPC calls per file (answered by the service)         %9.2f\n", calls);
  std::printf("  durable flushes per file, by process: service %.2f + A's gateway %.2f + B's gateway %.2f = %.2f\n",
              serviceFlushes, senderFlushes, receiverFlushes, flushes);

  const Measured* roundTrip = find(kRoundTrip);
  const Measured* durableWrite = find(kDurableWrite);
  const Measured* copy = find(kFlushedCopy);
  if (roundTrip == nullptr || durableWrite == nullptr || copy == nullptr) return;
  // A durable write holds two flushes (the file, then its directory).
  const double callsFloor = calls * roundTrip->seconds;
  const double flushesFloor = flushes * durableWrite->seconds / 2;
  const double bytesFloor = bytes / counter(copy->counters, kFileBytes) * copy->seconds;
  const double floor = callsFloor + flushesFloor + bytesFloor;
  std::printf("  floor per file: calls x round trip %.3f ms + flushes x half a durable write %.3f ms\n"
              "                  + its bytes at the flushed copy's rate %.3f ms = %.3f ms\n",
              callsFloor * 1e3, flushesFloor * 1e3, bytesFloor * 1e3, floor * 1e3);
  std::printf("  wall time per file                                   %9.3f ms\n", perFile * 1e3);
  std::printf("  (a) wall time per file / floor per file              %9.2f   [goal <= 1.2]\n", perFile / floor);
  if (bytes >= kMiB) {
    const double copyRate = counter(copy->counters, kFileBytes) / copy->seconds;
    std::printf("  (b) throughput / flushed copy throughput             %8.1f %%  [goal >= 50 %%]\n",
                100 * files * bytes / exchange.seconds / copyRate);
    // B polls: its first pass usually comes before A's first post, and it
    // then sleeps a whole sleeptime. What it achieves once it saves shows
    // apart from that wait.
    const double firstArrival = counter(exchange.counters, kFirstArrivalSeconds);
    const double saving = exchange.seconds - firstArrival;
    if (files > 1 && saving > 0) {
      std::printf("  first file in B's in directory after                 %9.2f s\n", firstArrival);
      std::printf("      from there to the last: MiB/s                    %9.2f = %.1f %% of the flushed copy\n",
                  (files - 1) * bytes / kMiB / saving, 100 * (files - 1) * bytes / saving / copyRate);
    }
  }
}

void GatewayReporter::printFigures() const {
  std::printf("\nFloors, measured in this run on the file system of the stores:\n");
  if (const Measured* roundTrip = find(kRoundTrip)) {
    std::printf("  raw loopback round trip (small call's sizes)         %9.1f us\n", roundTrip->seconds * 1e6);
  }
  if (const Measured* durableWrite = find(kDurableWrite)) {
    std::printf("  durable write of 1 KiB (write, fsync, rename, fsync of the directory)  %.3f ms\n",
                durableWrite->seconds * 1e3);
  }
  if (const Measured* copy = find(kFlushedCopy)) {
    const double bytes = counter(copy->counters, kFileBytes);
    std::printf("  flushed copy of %.0f MiB (read, write, fsync)         %9.1f ms = %.0f MiB/s\n", bytes / kMiB,
                copy->seconds * 1e3, bytes / kMiB / copy->seconds);
  }
  const Measured* small = find(kSmallFiles);
  const Measured* batch = find(kSmallFilesBatch);
  if (small != nullptr) printExchange("Small files", *small);
  if (batch != nullptr) printExchange("Small files in batch mode (64 KiB to a message)", *batch);
  if (const Measured* cost = find(kStateFileCost)) {
    const auto& c = cost->counters;
    std::printf("\nThe state file's cost: %.0f small files, three exchanges with and three without, alternating "
                "(medians)\n",
                counter(c, kFiles));
    std::printf("  files/s with a state file / without                 %7.1f / %.1f\n", counter(c, kRateWithState),
                counter(c, kRateWithoutState));
    std::printf("  files/s of A alone, with / without                  %7.1f / %.1f\n",
                counter(c, kSenderRateWithState), counter(c, kSenderRateWithoutState));
    std::printf("  (f) files/s with state file / files/s without         %8.1f %%  [goal >= 90 %%]\n",
                100 * counter(c, kRateWithState) / counter(c, kRateWithoutState));
    std::printf("      the same for A alone                             %8.1f %%\n",
                100 * counter(c, kSenderRateWithState) / counter(c, kSenderRateWithoutState));
  }
  if (small != nullptr && batch != nullptr) {
    const double rate = counter(small->counters, kFiles) / small->seconds;
    const double batchRate = counter(batch->counters, kFiles) / batch->seconds;
    std::printf("  (c) batch mode files/s / single mode files/s         %9.2f   [goal >= 5]\n", batchRate / rate);
    std::printf("      the same for A alone                             %9.2f\n",
                counter(small->counters, kSenderSeconds) / counter(batch->counters, kSenderSeconds));
  }
  if (const Measured* msg = find(kSmallMsgFiles)) {
    printExchange("Small .msg files (MSG rule; B saves each body)", *msg);
    const Measured* plain = find(kSmallFilesMsgCount);
    if (plain != nullptr) {
      const double files = counter(plain->counters, kFiles);
      std::printf("  single mode, %.0f plain files of 1 KiB: files/s       %9.1f\n", files, files / plain->seconds);
      std::printf("                                  files/s of A alone  %9.1f\n",
                  files / counter(plain->counters, kSenderSeconds));
      const double msgFiles = counter(msg->counters, kFiles);
      std::printf("  (d) .msg files/s / single mode files/s               %8.1f %%  [goal >= 80 %%]\n",
                  100 * (msgFiles / msg->seconds) / (files / plain->seconds));
      std::printf("      the same for A alone                             %8.1f %%\n",
                  100 * (msgFiles / counter(msg->counters, kSenderSeconds)) /
                      (files / counter(plain->counters, kSenderSeconds)));
    }
  }
  if (const Measured* pairs = find(kSmallEnvelopePairs)) {
    printExchange("Small envelope pairs (UA rule both ways; \"files\" are pairs, 1 KiB data files)", *pairs);
    if (const Measured* plain = find(kSmallFilesMsgCount)) {
      const double files = counter(plain->counters, kFiles);
      const double pairCount = counter(pairs->counters, kFiles);
      std::printf("  (e) pairs/s / single mode files/s (%.0f plain files)   %8.1f %%  [goal >= 80 %%]\n", files,
                  100 * (pairCount / pairs->seconds) / (files / plain->seconds));
      std::printf("      the same for A alone                             %8.1f %%\n",
                  100 * (pairCount / counter(pairs->counters, kSenderSeconds)) /
                      (files / counter(plain->counters, kSenderSeconds)));
    }
  }
  if (const Measured* large = find(kLargeFiles)) printExchange("Large files", *large);
  std::printf("\nThe goals are judged by the ratios; nothing is asserted. Figures vary with other load on the "
              "machine.\n");
}

}  // namespace gateway_bench
