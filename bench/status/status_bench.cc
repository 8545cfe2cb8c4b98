// How long `trasvik /status` takes with many files waiting in one outgoing
// directory, beside the floor of this machine measured in the same run: a
// bare listing of the same directory with each file's facts (what any
// count of its files costs). Prints both, and their ratio.
//
//   status_bench [FILES]     (default 100000)
//
// The files are written under the system's temporary directory and removed
// at the end.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/child_process.h"
#include "platform/directory.h"
#include "platform/thread.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The fastest of three runs of `run`.
template <typename Run>
double fastestOfThree(Run run) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    const Clock::time_point start = Clock::now();
    if (!run()) return -1;
    best = std::min(best, secondsSince(start));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("trasvik-status-bench-" + std::to_string(platform::currentProcessId()));
  const std::filesystem::path out = root / "out";
  std::filesystem::create_directories(out);
  for (int i = 0; i < files; ++i) std::ofstream(out / ("f" + std::to_string(i) + ".dat")) << "waiting";
  const std::string ini = (root / "gate.ini").string();
  std::ofstream(ini) << "[qnsys]\nlogfile=" << (root / "gate.log").string() << "\n[trasvik]\nsrvcini="
                     << (root / "none.ini").string() << "\nsendparam=s\nrecvparam=r\nerror=" << root.string()
                     << "\n[rules]\nmain=main\n[main]\ntype=FILE\nin=" << root.string() << "\nout=" << out.string()
                     << "/\n";

  std::string answer;
  const double status = fastestOfThree([&] {
    std::string error;
    const auto child = platform::ChildProcess::start({TRASVIK_PROGRAM, "/status", "/ini:" + ini}, true, error);
    if (!child) return false;
    answer.clear();
    while (std::optional<std::string> line = child->readLine(60000)) answer += *line + "\n";
    return child->wait(60000).has_value();
  });
  const double scan = fastestOfThree([&] {
    std::vector<platform::DirectoryEntry> entries;
    return platform::scanDirectory(out.string(), "*", entries) == 0 && entries.size() == static_cast<std::size_t>(files);
  });
  std::filesystem::remove_all(root);
  if (status < 0 || scan < 0) {
    std::printf("status_bench: a run failed\n");
    return 1;
  }
  std::printf("%s", answer.substr(0, answer.find('\n') + 1).c_str());
  std::printf("trasvik /status with %d files waiting: %.3f s (goal: under 1 s)\n", files, status);
  std::printf("a bare scan of the directory with each file's facts: %.3f s\n", scan);
  std::printf("ratio /status : bare scan = %.2f\n", status / scan);
  return 0;
}
