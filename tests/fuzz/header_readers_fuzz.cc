// The readers of ".msg" headers (both forms) and of envelopes: the same
// values, and the same body start, whether the file comes whole, a byte at
// a time or in pieces of any size; a .msg body starts within the file; no
// value holds a line end or more than a line's 255 bytes, and an envelope's
// values are trimmed.
#include "fuzz_support.h"
#include "msgrule/msg_file.h"
#include "uarule/envelope.h"

namespace {

using trasvik::EnvelopeValues;
using trasvik::MsgHeader;

template <typename Values>
bool sameValues(const Values& a, const Values& b) {
  return a.to == b.to && a.subject == b.subject && a.type == b.type && a.filename == b.filename;
}

MsgHeader readMsg(const std::vector<std::string_view>& pieces, bool lineByLine) {
  trasvik::MsgHeaderParser parser(lineByLine);
  for (const std::string_view piece : pieces) {
    if (parser.done()) break;
    const std::size_t taken = parser.feed(piece);
    fuzzing::require(taken == piece.size() || parser.done(), "a reader still reading takes every byte");
  }
  parser.end();
  return parser.header();
}

EnvelopeValues readEnvelope(const std::vector<std::string_view>& pieces) {
  trasvik::EnvelopeParser parser;
  for (const std::string_view piece : pieces) parser.feed(piece);
  return parser.finish();
}

bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

template <typename Values>
void checkValues(const Values& values, bool trimmed) {
  for (const std::string* value : {&values.to, &values.subject, &values.type, &values.filename}) {
    fuzzing::require(value->size() <= 255, "a value fits one line");
    fuzzing::require(value->find_first_of("\r\n") == std::string::npos, "a value holds no line end");
    fuzzing::require(!trimmed || value->empty() || (!isWhiteSpace(value->front()) && !isWhiteSpace(value->back())),
                     "an envelope's value is trimmed");
  }
}

void checkMsg(std::string_view file, std::uint32_t seed, std::size_t longestPiece, bool lineByLine) {
  const MsgHeader whole = readMsg({file}, lineByLine);
  checkValues(whole, false);
  fuzzing::require(whole.bodyStart <= file.size(), "the body starts within the file");
  for (const std::size_t longest : {std::size_t{1}, longestPiece}) {
    const MsgHeader read = readMsg(fuzzing::pieces(file, seed, longest), lineByLine);
    fuzzing::require(sameValues(read, whole) && read.bodyStart == whole.bodyStart, "pieces read as the whole");
  }
}

void checkEnvelope(std::string_view file, std::uint32_t seed, std::size_t longestPiece) {
  const EnvelopeValues whole = readEnvelope({file});
  checkValues(whole, true);
  for (const std::size_t longest : {std::size_t{1}, longestPiece}) {
    const EnvelopeValues read = readEnvelope(fuzzing::pieces(file, seed, longest));
    fuzzing::require(sameValues(read, whole) && read.lostLastLine == whole.lostLastLine, "pieces read as the whole");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FieldReader fields(data, size);
  const std::uint8_t choice = fields.byte();
  const auto seed = static_cast<std::uint32_t>(fields.number(4));
  const std::string_view file = fields.rest();
  const std::size_t longestPiece = 1 + choice / 4;
  if (choice % 4 == 3) {
    checkEnvelope(file, seed, longestPiece);
  } else {
    checkMsg(file, seed, longestPiece, choice % 2 == 1);
  }
  return 0;
}
