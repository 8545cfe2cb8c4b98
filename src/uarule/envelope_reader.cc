#include "uarule/envelope_reader.h"

#include <string_view>

namespace trasvik {

namespace {

// An envelope is a few short lines: one block holds it whole.
constexpr unsigned kBlockSize = 4096;

}  // namespace

EnvelopeValues readEnvelope(Quillex::DravontStream_s& stream) {
  EnvelopeParser parser;
  char block[kBlockSize];
  for (;;) {
    const unsigned count = Quillex::StreamRead(&stream, block, kBlockSize);
    if (count == 0 || count > kBlockSize) return parser.finish();
    parser.feed(std::string_view(block, count));
  }
}

}  // namespace trasvik
