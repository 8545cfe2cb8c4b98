// What the file system of this machine costs at the least, as benchmark
// loops: the durable write a store makes for every change it acknowledges,
// and a flushed copy of a large file. Each runs in a temporary directory on
// the file system the exchanges' stores use, removed at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>

namespace gateway_bench {

// One iteration: a small file written under a temporary name, flushed,
// renamed to a new name and its directory flushed (two flushes).
void runDurableWrites(benchmark::State& state, std::size_t bytes);

// One iteration: a file of `bytes` bytes read and written to a new file,
// which is flushed to disk.
void runFlushedCopies(benchmark::State& state, std::size_t bytes);

}  // namespace gateway_bench
