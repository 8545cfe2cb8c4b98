#include "msgrule/msg_reader.h"

#include <string_view>

namespace trasvik {

namespace {

// A header rarely passes one block; a small file fits in it whole.
constexpr unsigned kBlockSize = 4096;

}  // namespace

MsgHeader readMsgHeader(Quillex::DravontStream_s& stream, bool lineByLine) {
  MsgHeaderParser parser(lineByLine);
  char block[kBlockSize];
  while (!parser.done()) {
    const unsigned count = Quillex::StreamRead(&stream, block, kBlockSize);
    if (count == 0 || count > kBlockSize) {
      parser.end();
    } else {
      parser.feed(std::string_view(block, count));
    }
  }
  return parser.header();
}

}  // namespace trasvik
