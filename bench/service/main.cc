// Runs the service benchmarks and prints, after Google Benchmark's table, the
// figures the service is judged by, each measured side by side in this run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

class ServiceReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0 || run.error_occurred) continue;
      // Threaded runs: iterations are summed over the threads, the real time is
      // the wall time of the run.
      const double seconds = run.real_accumulated_time;
      const std::string name = run.benchmark_name();
      perCall_[name] = seconds / static_cast<double>(run.iterations);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printFigures() const {
    std::printf("\nFigures (goal in brackets):\n");
    double call = 0, raw = 0, post = 0, one = 0, eight = 0;
    if (find("BM_StreamLengthCall/real_time", call) && find("BM_RawTcpRoundTrip/real_time", raw)) {
      std::printf("  cheap call / raw TCP round trip       %6.2f  (%.1f us / %.1f us) [<= 1.5]\n", call / raw,
                  call * 1e6, raw * 1e6);
    }
    if (find("BM_PostOneMiBAttachment/iterations:150/real_time", post)) {
      std::printf("  1 MiB attachment post                 %6.0f MiB/s  (%.2f ms per post) [>= 100]\n", 1.0 / post,
                  post * 1e3);
    }
    if (find("BM_StreamLengthCallClients/real_time/threads:1", one) &&
        find("BM_StreamLengthCallClients/real_time/threads:8", eight)) {
      std::printf("  8 clients / 1 client call rate        %6.2f  (%.0f / %.0f calls/s) [>= 1.5]\n", one / eight,
                  1.0 / eight, 1.0 / one);
    }
  }

 private:
  bool find(const std::string& name, double& seconds) const {
    const auto found = perCall_.find(name);
    if (found == perCall_.end()) return false;
    seconds = found->second;
    return true;
  }
  std::map<std::string, double> perCall_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ServiceReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printFigures();
  benchmark::Shutdown();
  return 0;
}
