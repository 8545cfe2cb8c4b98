// The fixture's file helpers, the same for every crypto back end.
#include "support/cms_fixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

namespace cms_testing {

bool writePatternFile(const std::string& path, std::uint64_t size, std::uint32_t seed) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<std::uint32_t> block(1 << 18);  // 1 MiB
  std::uint32_t state = seed != 0 ? seed : 1;
  while (size > 0 && out) {
    for (std::uint32_t& word : block) {  // xorshift32
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      word = state;
    }
    const std::uint64_t bytes = std::min<std::uint64_t>(size, block.size() * sizeof(std::uint32_t));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(bytes));
    size -= bytes;
  }
  return static_cast<bool>(out);
}

bool filesEqual(const std::string& a, const std::string& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  if (!first || !second) return false;
  std::vector<char> left(1 << 20);
  std::vector<char> right(1 << 20);
  for (;;) {
    first.read(left.data(), static_cast<std::streamsize>(left.size()));
    second.read(right.data(), static_cast<std::streamsize>(right.size()));
    if (first.gcount() != second.gcount()) return false;
    if (!std::equal(left.begin(), left.begin() + first.gcount(), right.begin())) return false;
    if (!first || !second) return !first && !second;
  }
}

std::string base64(const std::string& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    for (std::size_t k = 0; k < 4; ++k) text += i + k <= bytes.size() ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return text;
}

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace cms_testing
