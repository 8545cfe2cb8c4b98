// Runs the transport benchmarks and prints, after Google Benchmark's own
// table, the ratios the transport is judged by: each measured side by side
// in this one run, so the machine's speed cancels out.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        std::string name = run.benchmark_name();
        const std::size_t slash = name.find('/');
        if (slash != std::string::npos) name.resize(slash);
        seconds_[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printRatios() const {
    std::printf("\nRatios (time of the first over time of the second; goal in brackets):\n");
    ratio("BM_XmlRpcExecuteThreeInts", "BM_RawTcpRoundTrip", "execute / raw TCP round trip", "<= 1.5");
    speed("BM_Base64ValueEncode", "BM_MemcpyBase64Payload", "base64 value encode");
    speed("BM_Base64ValueParse", "BM_MemcpyBase64Payload", "base64 value parse");
    ratio("BM_IntArrayValueEncode", "BM_MemcpyIntArrayText", "10,000-int array encode / memcpy", "");
    ratio("BM_IntArrayValueParse", "BM_MemcpyIntArrayText", "10,000-int array parse / memcpy", "");
  }

 private:
  bool lookup(const std::string& name, double& seconds) const {
    auto it = seconds_.find(name);
    if (it == seconds_.end()) return false;
    seconds = it->second;
    return true;
  }
  void ratio(const std::string& a, const std::string& b, const char* what, const char* goal) const {
    double ta = 0, tb = 0;
    if (!lookup(a, ta) || !lookup(b, tb)) return;
    std::printf("  %-40s %8.2f  (%.2f us / %.2f us) %s%s%s\n", what, ta / tb, ta * 1e6, tb * 1e6, *goal ? "[" : "",
                goal, *goal ? "]" : "");
  }
  void speed(const std::string& a, const std::string& b, const char* what) const {
    double ta = 0, tb = 0;
    if (!lookup(a, ta) || !lookup(b, tb)) return;
    std::printf("  %-40s %8.2f  = %.0f%% of memcpy speed [>= 25%%]\n", (std::string(what) + " / memcpy").c_str(),
                ta / tb, 100.0 * tb / ta);
  }
  std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.printRatios();
  benchmark::Shutdown();
  return 0;
}
