// 64-bit positions in C streams. The C library's fseek and ftell take and
// give a long, which is 32 bits on Windows, so files past 2 GiB need the
// system's own calls. Thread-safe for distinct streams.
#pragma once

#include <cstdint>
#include <cstdio>

namespace platform {

// Moves `stream` to `offset` bytes from the start of its file. Returns 0 or
// the errno value of the failure.
int seekStream(std::FILE* stream, std::uint64_t offset);

// The size of the file behind `stream`, its position left as it was.
// Returns 0 or the errno value of the failure (`size` is then unchanged).
int streamFileSize(std::FILE* stream, std::uint64_t& size);

}  // namespace platform
