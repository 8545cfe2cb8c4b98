// What the fuzz targets share: a property check that aborts (a crash the
// fuzzer keeps as a finding, whatever NDEBUG says), fields taken from the
// fuzzer's bytes, and pieces to feed a streaming reader with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzing {

// Aborts, naming the property, unless it holds.
inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property does not hold: %s\n", property);
  std::abort();
}

// Takes fields from the fuzzer's bytes, front to back. Past the end every
// field is 0 or empty, so any input gives a complete set of fields.
class FieldReader {
 public:
  FieldReader(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
  }

  std::uint64_t number(int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | byte();
    return value;
  }

  // A text whose length (at most `longest`) is given by the next two bytes.
  std::string text(std::size_t longest) {
    const std::size_t length = std::min<std::size_t>(number(2) % (longest + 1), rest_.size());
    std::string value(rest_.substr(0, length));
    rest_.remove_prefix(length);
    return value;
  }

  // Everything not taken yet.
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// `bytes` cut into pieces of 1 to `longestPiece` bytes, their sizes drawn
// from `seed`: a reader fed the pieces in order must read what it reads
// from the whole.
inline std::vector<std::string_view> pieces(std::string_view bytes, std::uint32_t seed, std::size_t longestPiece) {
  std::vector<std::string_view> result;
  std::uint32_t state = seed | 1;
  while (!bytes.empty()) {
    state = state * 1103515245u + 12345u;
    const std::size_t size = std::min<std::size_t>(1 + (state >> 16) % longestPiece, bytes.size());
    result.push_back(bytes.substr(0, size));
    bytes.remove_prefix(size);
  }
  return result;
}

}  // namespace fuzzing
