// Throughput of the value codec against memcpy of the same byte counts: a
// base64 value of 1 MiB of random bytes and an array of 10,000 ints, each
// written with valueText and read back with parseValue.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "transport/xmlrpc_value.h"

namespace {

using Quillex::XmlRpcValue;

constexpr std::size_t kPayloadBytes = 1 << 20;
constexpr int kIntCount = 10000;

const XmlRpcValue& base64Value() {
  static const XmlRpcValue value = [] {
    std::mt19937 generator(2024);
    std::string bytes(kPayloadBytes, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator());
    return XmlRpcValue(bytes.data(), bytes.size());
  }();
  return value;
}

const std::string& base64Text() {
  static const std::string text = base64Value().valueText();
  return text;
}

const XmlRpcValue& intArray() {
  static const XmlRpcValue value = [] {
    std::mt19937 generator(7);
    XmlRpcValue array;
    for (int i = kIntCount - 1; i >= 0; --i) array[i] = static_cast<int>(generator());
    return array;
  }();
  return value;
}

const std::string& intArrayText() {
  static const std::string text = intArray().valueText();
  return text;
}

void encodeLoop(benchmark::State& state, const XmlRpcValue& value, std::size_t bytes) {
  for (auto _ : state) {
    std::string text = value.valueText();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void parseLoop(benchmark::State& state, const std::string& text, std::size_t bytes) {
  for (auto _ : state) {
    XmlRpcValue value;
    std::size_t position = 0;
    const bool parsed = value.parseValue(text, position);
    benchmark::DoNotOptimize(parsed);
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void memcpyLoop(benchmark::State& state, std::size_t bytes) {
  const std::string source(bytes, 'x');
  std::string target(bytes, '\0');
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), bytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bytes));
}

void BM_Base64ValueEncode(benchmark::State& state) { encodeLoop(state, base64Value(), kPayloadBytes); }

void BM_Base64ValueParse(benchmark::State& state) { parseLoop(state, base64Text(), kPayloadBytes); }

void BM_IntArrayValueEncode(benchmark::State& state) {
  encodeLoop(state, intArray(), intArrayText().size());
}

void BM_IntArrayValueParse(benchmark::State& state) {
  parseLoop(state, intArrayText(), intArrayText().size());
}

void BM_MemcpyBase64Payload(benchmark::State& state) { memcpyLoop(state, kPayloadBytes); }

void BM_MemcpyIntArrayText(benchmark::State& state) { memcpyLoop(state, intArrayText().size()); }

}  // namespace

BENCHMARK(BM_Base64ValueEncode);
BENCHMARK(BM_Base64ValueParse);
BENCHMARK(BM_IntArrayValueEncode);
BENCHMARK(BM_IntArrayValueParse);
BENCHMARK(BM_MemcpyBase64Payload);
BENCHMARK(BM_MemcpyIntArrayText);
