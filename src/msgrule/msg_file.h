// The ".msg" format: a small text file that describes its own message. A
// header of "key: value" lines names the recipient, the subject, the core
// type and the attachment name; the body after it is the attachment. Text
// functions, no service call (a value cut to fit its line is logged);
// thread-compatible.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rule/received_lines.h"

namespace trasvik {

// The header values as read; an empty value counts as absent.
struct MsgHeader {
  std::string to;
  std::string subject;
  std::string type;
  std::string filename;
  std::uint64_t bodyStart = 0;  // byte offset of the body in the file
};

// Reads a header from the file's bytes, fed in order in pieces of any size
// (one byte at a time gives the same result as the whole file at once).
// Lines end with '\n', every '\r' is dropped, and a line holds at most 255
// bytes: a longer one is cut there and its rest is the next line. A header
// line is a key, ':' and a value; keys compare in any letter case, the value
// loses its leading blanks only, and a key's last value counts.
//
// Line-by-line form: the header ends at the first line that is not a known
// header line (no ':', a ':' first, or a key other than to, subject, type,
// filename, msgid, from, date); the body starts with that line. Blank-line
// form: the header ends at the first empty line, which belongs to neither
// part; other lines without a known key are skipped. In both forms an
// unfinished last line is no header line, and the end of the file ends the
// header: the body then starts at that line (line-by-line) or at the end
// (blank-line).
class MsgHeaderParser {
 public:
  explicit MsgHeaderParser(bool lineByLine) : lineByLine_(lineByLine) {}

  // Takes the next bytes of the file. Returns how many it took: all of
  // them, unless the header ended within them.
  std::size_t feed(std::string_view bytes);
  // The file has no more bytes: ends the header.
  void end();

  bool done() const { return done_; }
  // The values and the body start; complete once done().
  const MsgHeader& header() const { return header_; }

 private:
  void completeLine();
  bool takeHeaderLine();

  bool lineByLine_;
  bool done_ = false;
  std::uint64_t position_ = 0;   // offset of the next byte
  std::uint64_t lineStart_ = 0;  // offset of the current line's first byte
  std::string line_;
  MsgHeader header_;
};

// The header lines of a received ".msg" file, in their order: To (when
// `selfAddress` is not empty), From, Type ("0x%04X"), Subject (when not
// empty), MsgID, Date ("YYYYMMDDhhmmss" of `localDate`, when given) and
// Filename (when not empty), as written into the file with the compact
// separator ":". The values are fitted (fittedLines): one from a remote
// sender can never add a line. `localDate` must lie in the years 1 to 9999
// (messageLocalTime).
struct ReceivedHeader {
  std::string selfAddress;
  std::string sender;
  std::uint16_t coretype = 0;
  std::string subject;
  std::string messageId;
  const std::tm* localDate = nullptr;
  std::string fileName;
};
HeaderLines receivedHeaderLines(const ReceivedHeader& header);

}  // namespace trasvik
