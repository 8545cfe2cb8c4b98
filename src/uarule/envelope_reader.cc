#include "uarule/envelope_reader.h"

#include "rule/stream_blocks.h"

namespace trasvik {

std::optional<EnvelopeValues> readEnvelope(Quillex::DravontStream_s& stream, std::uint64_t fileSize) {
  EnvelopeParser parser;
  const bool read = readStreamBlocks(stream, fileSize, [&](std::string_view block) {
    parser.feed(block);
    return true;
  });
  if (!read) return std::nullopt;
  return parser.finish();
}

}  // namespace trasvik
