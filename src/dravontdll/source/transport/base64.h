// Base64 text of binary values: the standard alphabet ("+" and "/") with "="
// padding, laid out in lines of 72 characters.
//
// Encoding writes a "\n" after every 18 complete groups of four characters;
// only complete groups count, so input of an exact multiple of 54 bytes also
// ends in "\n". A final group of one or two bytes ends in "==" or "=" and gets
// no "\n".
//
// Decoding is tolerant: bytes that are neither in the alphabet nor "=" are
// skipped. A complete group yields three bytes. "=" in a group's third place
// yields one byte and ends decoding; "=" in the fourth place yields two bytes
// and ends decoding; "=" in the first or second place, or the end of the text
// inside a group, ends decoding without output for that group.
//
// Runs of clean 72-character lines (and of 32 clean characters) take a fast
// path; on x86-64 CPUs with AVX2 or AVX-512 that path uses vector
// instructions. All functions are safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Quillex {

// The number of characters appendBase64 writes for `byteCount` bytes.
std::size_t base64EncodedSize(std::size_t byteCount);

// Appends the base64 text of the `size` bytes at `data` to `out`.
void appendBase64(std::string& out, const void* data, std::size_t size);

// Replaces the content of `out` with the bytes decoded from `text`. Never
// fails: broken input decodes to the bytes of the groups read before it.
void decodeBase64(std::string_view text, std::vector<char>& out);

// The instruction sets the fast paths may use. The best set the CPU has, up
// to the limit (initially kAvx512), is chosen per call; every choice gives
// identical results. For tests and benchmarks that compare kernels.
enum class Base64Kernels { kPortable, kAvx2, kAvx512 };
void limitBase64Kernels(Base64Kernels limit);
// The set the next call will use.
Base64Kernels activeBase64Kernels();

}  // namespace Quillex
