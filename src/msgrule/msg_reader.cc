#include "msgrule/msg_reader.h"

#include <string_view>

#include "trasvik/session.h"

namespace trasvik {

namespace {

// A header rarely passes one block; a small file fits in it whole.
constexpr unsigned kBlockSize = 4096;

}  // namespace

std::optional<MsgHeader> readMsgHeader(Quillex::DravontStream_s& stream, bool lineByLine, std::uint64_t fileSize) {
  MsgHeaderParser parser(lineByLine);
  char block[kBlockSize];
  std::uint64_t total = 0;
  while (!parser.done()) {
    const unsigned count = Quillex::StreamRead(&stream, block, kBlockSize);
    if (count == 0 || count > kBlockSize) {
      if (total < fileSize) {
        // A read cut short, by a lost session most likely.
        throwIfSessionLost();
        return std::nullopt;
      }
      parser.end();
    } else {
      parser.feed(std::string_view(block, count));
      total += count;
      // The whole file is read: its end needs no call of its own. (A size
      // of 0, which may mean unknown, reads on to the end.)
      if (fileSize > 0 && total >= fileSize && !parser.done()) parser.end();
    }
  }
  return parser.header();
}

}  // namespace trasvik
