#include "uarule/envelope_reader.h"

#include <string_view>

#include "trasvik/session.h"

namespace trasvik {

namespace {

// An envelope is a few short lines: one block holds it whole.
constexpr unsigned kBlockSize = 4096;

}  // namespace

std::optional<EnvelopeValues> readEnvelope(Quillex::DravontStream_s& stream, std::uint64_t fileSize) {
  EnvelopeParser parser;
  char block[kBlockSize];
  std::uint64_t total = 0;
  for (;;) {
    const unsigned count = Quillex::StreamRead(&stream, block, kBlockSize);
    if (count == 0 || count > kBlockSize) break;
    parser.feed(std::string_view(block, count));
    total += count;
    // The whole file is read: no call is spent to meet its end. (A size
    // of 0, which may mean unknown, reads on to the end.)
    if (fileSize > 0 && total >= fileSize) break;
  }
  // A text stream drops the CR of each CR LF: fewer bytes than the file
  // holds are then its whole, which the stream's position tells.
  if (total < fileSize && Quillex::StreamTell(&stream) < fileSize) {
    throwIfSessionLost();
    return std::nullopt;
  }
  return parser.finish();
}

}  // namespace trasvik
