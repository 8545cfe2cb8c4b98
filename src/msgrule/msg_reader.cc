#include "msgrule/msg_reader.h"

#include "rule/stream_blocks.h"

namespace trasvik {

std::optional<MsgHeader> readMsgHeader(Quillex::DravontStream_s& stream, bool lineByLine, std::uint64_t fileSize) {
  MsgHeaderParser parser(lineByLine);
  const bool read = readStreamBlocks(stream, fileSize, [&](std::string_view block) {
    parser.feed(block);
    return !parser.done();
  });
  if (!read) return std::nullopt;
  if (!parser.done()) parser.end();
  return parser.header();
}

}  // namespace trasvik
