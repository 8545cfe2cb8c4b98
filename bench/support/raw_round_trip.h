// The physical limit of a call on loopback: a raw TCP ping-pong with a
// call's request and answer sizes, against a one-thread server that answers
// each request in one write. Benchmarks of calls measure it in the same run
// and print their ratio to it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>

namespace bench_support {

// Sizes of a small call on the wire, header and body ("DravontStreamLength"),
// so that a raw round trip moves as many bytes as such a call does.
inline constexpr std::size_t kSmallCallRequestSize = 330;
inline constexpr std::size_t kSmallCallAnswerSize = 250;

// Runs the benchmark loop: one round trip per iteration.
void runRawRoundTrip(benchmark::State& state, std::size_t requestSize, std::size_t answerSize);

}  // namespace bench_support
