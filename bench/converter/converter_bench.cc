// Converter throughput: detach and attach of a large signed file through
// libdravontaux64.so and the kind 6 provider, each run in a child process
// (converter_driver, which also reports its peak memory), against
// a plain buffered copy of a file of the same size measured in the same run.
// Goal: at least 50% of the copy's throughput, peak memory under 64 MiB.
//
//   converter_bench [size in MiB, default 1024] [-v: every run]
//
// Each figure is the best of five rounds, every run prepared the same way
// (see prepareRun): on a shared virtual machine single runs vary several-fold.
// The files live in a temporary directory that is removed at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "support/cms_fixture.h"
#include "support/temp_directory.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Copies with 1 MiB reads and writes, as a program without the converter would.
bool plainCopy(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = std::fopen(to.c_str(), "wb");
  bool ok = in != nullptr && out != nullptr;
  std::vector<char> buffer(1 << 20);
  while (ok) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (got == 0) break;
    ok = std::fwrite(buffer.data(), 1, got, out) == got;
  }
  if (in != nullptr) std::fclose(in);
  if (out != nullptr) ok = std::fclose(out) == 0 && ok;
  return ok;
}

std::uint64_t gPeakKib = 0;

// Runs one export call with the kind 6 provider; its exit status.
int runTool(const std::string& operation, const std::string& argumentText) {
  std::string error;
  auto child = platform::ChildProcess::start({CONVERTER_DRIVER, CONVERTER_LIBRARY, operation, argumentText}, true,
                                             error, {std::string("LD_LIBRARY_PATH=") + KIND6_PROVIDER_DIR});
  if (child == nullptr) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return -1;
  }
  while (auto line = child->readLine(-1)) {
    if (line->rfind("peak-rss-kib ", 0) == 0) gPeakKib = std::max<std::uint64_t>(gPeakKib, std::stoull(line->substr(13)));
  }
  return child->wait(-1).value_or(-1);
}

// Writes dirty pages back to disk (the system's sync command).
void writeBack() {
  std::string error;
  auto child = platform::ChildProcess::start({"sync"}, false, error);
  if (child != nullptr) child->wait(-1);
}

struct Measure {
  const char* name;
  double seconds;
};

}  // namespace

int main(int argc, char** argv) {
  const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const bool verbose = argc > 2 && std::string(argv[2]) == "-v";
  const std::uint64_t size = mebibytes << 20;
  testing_support::TempDirectory directory;
  const auto file = [&](const char* name) { return directory.file(name); };
  cms_testing::TestSigner signer(directory.path().string());

  std::printf("preparing %llu MiB of content and its streamed signature...\n", static_cast<unsigned long long>(mebibytes));
  if (!cms_testing::writePatternFile(file("content"), size) ||
      !signer.sign(file("content"), file("signed.ber"), cms_testing::SignedForm::kStreamedBer)) {
    std::fprintf(stderr, "cannot prepare the files\n");
    return 1;
  }
  const std::string log = file("converter.log");
  const auto args = [&](const char* a, const char* b, const char* c) {
    return log + "*error*" + file(a) + "*" + file(b) + "*" + file(c);
  };
  // Each measure is the best of kRounds. Every run starts alike: a file of
  // the same size has just been written and removed, so the run's output
  // reuses memory the machine has already handed out (on a virtual machine,
  // fresh memory costs several times more to write), and everything has
  // been written back, so no run pays for the writes of the one before.
  constexpr int kRounds = 5;
  const auto prepareRun = [&] {
    plainCopy(file("content"), file("scratch"));
    std::filesystem::remove(file("scratch"));
    writeBack();
  };
  std::vector<Measure> best = {{"plain copy", 1e300}, {"detach (streamed BER)", 1e300}, {"attach", 1e300},
                               {"detach (DER)", 1e300}};
  const auto timed = [&](Measure& measure, auto body) {
    prepareRun();
    const auto start = Clock::now();
    if (!body()) {
      std::fprintf(stderr, "%s failed\n", measure.name);
      std::exit(1);
    }
    const double seconds = secondsSince(start);
    if (verbose) std::printf("  %-22s %8.1f MiB/s\n", measure.name, static_cast<double>(mebibytes) / seconds);
    measure.seconds = std::min(measure.seconds, seconds);
  };
  for (int round = 0; round < kRounds; ++round) {
    timed(best[0], [&] { return plainCopy(file("content"), file("copy")); });
    timed(best[1], [&] { return runTool("detach", args("signed.ber", "detached.content", "signature")) == 0; });
    timed(best[2], [&] { return runTool("attach", args("detached.content", "signature", "attached.der")) == 0; });
    timed(best[3], [&] { return runTool("detach", args("attached.der", "content.again", "signature.again")) == 0; });
    for (const char* output : {"copy", "detached.content", "signature", "attached.der", "content.again", "signature.again"}) {
      std::filesystem::remove(file(output));
    }
  }

  std::error_code ignored;
  if (std::filesystem::file_size(log, ignored) > 0) {
    std::fprintf(stderr, "the converter logged failures, see %s\n", log.c_str());
    return 1;
  }
  const double mib = static_cast<double>(mebibytes);
  const double copySeconds = best[0].seconds;
  std::printf("%-24s %10.1f MiB/s\n", best[0].name, mib / copySeconds);
  for (std::size_t i = 1; i < best.size(); ++i) {
    std::printf("%-24s %10.1f MiB/s  ratio to copy %5.1f%%\n", best[i].name, mib / best[i].seconds,
                100.0 * copySeconds / best[i].seconds);
  }
  const double peakMib = static_cast<double>(gPeakKib) / 1024.0;
  std::printf("%-24s %10.1f MiB (largest converter process; goal < 64 MiB)\n", "peak memory", peakMib);
  return 0;
}
