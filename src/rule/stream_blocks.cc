#include "rule/stream_blocks.h"

#include "trasvik/session.h"

namespace trasvik {

namespace {

// A header or an envelope rarely passes one block; a small file fits in it
// whole.
constexpr unsigned kBlockSize = 4096;

}  // namespace

bool readStreamBlocks(Quillex::DravontStream_s& stream, std::uint64_t fileSize,
                      const std::function<bool(std::string_view block)>& take) {
  char block[kBlockSize];
  std::uint64_t total = 0;
  for (;;) {
    const unsigned count = Quillex::StreamRead(&stream, block, kBlockSize);
    if (count == 0 || count > kBlockSize) break;
    total += count;
    if (!take(std::string_view(block, count))) return true;
    if (fileSize > 0 && total >= fileSize) return true;
  }
  if (total >= fileSize || Quillex::StreamTell(&stream) >= fileSize) return true;
  throwIfSessionLost();
  return false;
}

}  // namespace trasvik
