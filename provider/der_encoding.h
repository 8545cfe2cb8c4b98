// DER length octets and element sizes for the framing the provider writes.
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace vcert {

// Length octets in the shortest form.
std::string derLength(std::uint64_t length);

// Bytes of an element with a one-byte tag and `contentLength` content bytes.
std::uint64_t derElementSize(std::uint64_t contentLength);

// A one-byte tag followed by the length octets.
std::string derHeader(std::uint8_t tag, std::uint64_t contentLength);

}  // namespace vcert
