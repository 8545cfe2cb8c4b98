// The ".env" envelope of the UA rule: a small text file of "key: value"
// lines that names the recipient of its ".001" data file and describes the
// message. Reading the values a send pass needs, and the lines of a
// received envelope. Text functions, no service call (a value cut to fit
// its line is logged); thread-compatible.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rule/received_lines.h"

namespace trasvik {

// The values of the keys sending knows; an empty one counts as absent.
struct EnvelopeValues {
  std::string to;
  std::string subject;
  std::string type;
  std::string filename;
  // The file ended in a line without a line feed, which was ignored.
  bool lostLastLine = false;
};

// Reads an envelope from the file's bytes, fed in order in pieces of any
// size (one byte at a time gives the same result as the whole file at
// once). A line ends at a line feed; every carriage return is dropped; a
// line holds at most 255 bytes, and the bytes after them start the next
// line. Bytes after the last line feed are ignored. A line without ':' is
// ignored; otherwise the key is the text before the first ':' as it stands
// (blanks included), compared with "to", "subject", "type" and "filename"
// in any letter case, and the value is the rest without leading and
// trailing white space. An empty value is ignored: a key's last non-empty
// value counts.
class EnvelopeParser {
 public:
  void feed(std::string_view bytes);
  // The file has no more bytes: the values as read.
  EnvelopeValues finish();

 private:
  void completeLine();

  std::string line_;
  EnvelopeValues values_;
};

// What a received envelope describes: one attachment of a message.
struct ReceivedEnvelope {
  std::string selfAddress;  // the gateway's own address; empty when unknown
  std::string sender;
  std::string subject;
  const std::tm* localDate = nullptr;  // the message's date, when it has one
  std::string messageId;
  std::uint16_t coretype = 0;
  std::string fileName;  // the attachment's name as sent; may be empty
};

// The lines of a received envelope, in their order: To (when the own
// address is known), From, Subject (when not empty), Date/Time
// ("YYYYMMDD/hhmmss", when there is a date), MsgID, Type ("0x%04X") and
// Filename (when not empty), as written into the file with the separator
// ": ". The values are fitted (fittedLines): a sender can never add a
// line. `localDate` must lie in the years 1 to 9999 (messageLocalTime).
HeaderLines receivedEnvelopeLines(const ReceivedEnvelope& envelope);

}  // namespace trasvik
