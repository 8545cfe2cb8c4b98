#include "der_encoding.h"

namespace vcert {

std::string derLength(std::uint64_t length) {
  if (length < 0x80) return std::string(1, static_cast<char>(length));
  std::string octets;
  for (std::uint64_t rest = length; rest != 0; rest >>= 8) octets.insert(octets.begin(), static_cast<char>(rest & 0xFF));
  octets.insert(octets.begin(), static_cast<char>(0x80 | octets.size()));
  return octets;
}

std::uint64_t derElementSize(std::uint64_t contentLength) { return 1 + derLength(contentLength).size() + contentLength; }

std::string derHeader(std::uint8_t tag, std::uint64_t contentLength) {
  return std::string(1, static_cast<char>(tag)) + derLength(contentLength);
}

}  // namespace vcert
