// A byte source over a text, handing out at most `piece` bytes per read so
// that buffer boundaries fall everywhere.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "byte_source.h"
#include "provider_failure.h"

namespace provider_testing {

class MemorySource : public vcert::ByteSource {
 public:
  explicit MemorySource(std::string bytes, std::size_t piece = 1 << 20) : bytes_(std::move(bytes)), piece_(piece) {}
  std::size_t read(std::uint8_t* buffer, std::size_t capacity) override {
    const std::size_t count = std::min({capacity, piece_, bytes_.size() - position_});
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return count;
  }

 private:
  std::string bytes_;
  std::size_t piece_;
  std::size_t position_ = 0;
};

// Runs `body` and returns the kind of the ProviderFailure it throws; fails
// the test when it throws nothing.
template <typename Body>
vcert::ErrorKind failureOf(Body body) {
  try {
    body();
  } catch (const vcert::ProviderFailure& failure) {
    vcert::clearErrorLines();
    return failure.kind();
  }
  ADD_FAILURE() << "no ProviderFailure was thrown";
  return vcert::ErrorKind::kInternal;
}

}  // namespace provider_testing
