#include "gateway/floors.h"

#include <string>

#include "platform/atomic_file.h"
#include "platform/file.h"
#include "support/temp_directory.h"

namespace gateway_bench {

namespace {

// A regular pattern rather than zeros, which some file systems store sparse.
std::string patternOf(std::size_t bytes) {
  std::string contents(bytes, '\0');
  for (std::size_t i = 0; i < bytes; ++i) contents[i] = static_cast<char>('a' + i % 26);
  return contents;
}

}  // namespace

void runDurableWrites(benchmark::State& state, std::size_t bytes) {
  testing_support::TempDirectory directory;
  const std::string contents = patternOf(bytes);
  int index = 0;
  for (auto _ : state) {
    if (platform::replaceFileAtomically(directory.file("durable-" + std::to_string(++index)), contents) != 0) {
      state.SkipWithError("durable write failed");
      break;
    }
  }
}

void runFlushedCopies(benchmark::State& state, std::size_t bytes) {
  testing_support::TempDirectory directory;
  const std::string source = directory.file("source");
  if (platform::writeWholeFile(source, patternOf(bytes)) != 0) {
    state.SkipWithError("cannot write the source file");
    return;
  }
  int index = 0;
  for (auto _ : state) {
    const std::string copy = directory.file("copy-" + std::to_string(++index));
    if (platform::copyFile(source, copy) != 0) {
      state.SkipWithError("copy failed");
      break;
    }
    // Only the copy's own cost is measured, not the disk filling up.
    state.PauseTiming();
    platform::removeFile(copy);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

}  // namespace gateway_bench
