// Base64: any text decodes, with every kernel the CPU has to the same
// bytes; any bytes encode to base64EncodedSize characters that decode back
// to them.
#include "fuzz_support.h"
#include "transport/base64.h"

namespace {

using Quillex::Base64Kernels;

std::vector<char> decoded(std::string_view text, Base64Kernels limit) {
  Quillex::limitBase64Kernels(limit);
  std::vector<char> bytes;
  Quillex::decodeBase64(text, bytes);
  return bytes;
}

std::string encoded(const char* data, std::size_t size, Base64Kernels limit) {
  Quillex::limitBase64Kernels(limit);
  std::string text;
  Quillex::appendBase64(text, data, size);
  fuzzing::require(text.size() == Quillex::base64EncodedSize(size), "the encoded size is as announced");
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<char> bytes = decoded(input, Base64Kernels::kPortable);
  for (const Base64Kernels limit : {Base64Kernels::kAvx2, Base64Kernels::kAvx512}) {
    fuzzing::require(decoded(input, limit) == bytes, "every kernel decodes alike");
  }

  const std::string text = encoded(input.data(), input.size(), Base64Kernels::kPortable);
  for (const Base64Kernels limit : {Base64Kernels::kAvx2, Base64Kernels::kAvx512}) {
    fuzzing::require(encoded(input.data(), input.size(), limit) == text, "every kernel encodes alike");
  }
  fuzzing::require(decoded(text, Base64Kernels::kAvx512) == std::vector<char>(input.begin(), input.end()),
                   "encoded bytes decode back");
  return 0;
}
