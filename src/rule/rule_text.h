// Small text helpers the rule kinds share.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "dravont/dravontdll.h"

namespace trasvik {

// Reads a 16-bit hexadecimal number: leading blanks skipped, then digits
// 0-9, A-F, a-f (higher bits are lost), the letters x and X skipped
// anywhere. Any other character refuses the text (false). An empty text
// gives 0.
bool parseHex16(const std::string& text, std::uint16_t& value);

// Adds one byte of a text file to `line` as the gateway's text formats
// (.msg headers, envelopes) read lines: a line feed ends the line, a
// carriage return is dropped, and a line that reaches `longest` bytes ends
// there. True when `line` is complete; the caller takes it and clears it.
inline bool addLineByte(std::string& line, char c, std::size_t longest) {
  if (c == '\r') return false;
  if (c == '\n') return true;
  line.push_back(c);
  return line.size() == longest;
}

// The text for an errno value: "errno ENOENT: No such file or directory",
// "errno EACCES: Permission denied", else "errno <number>".
std::string errnoText(int error);

// The ticker of an address: the part between the first "@" and the first
// "." after it; "<unknown>" when either is missing.
std::string senderTicker(const std::string& address);

// The bytes of the header lines: "name: value\r\n" each ("name:value\r\n"
// when compact).
std::string headerText(const std::vector<std::pair<std::string, std::string>>& lines, bool compact);

// Writes headerText and then `after` to a library stream, with one write:
// the bytes are those of one write per line, in one call to the service.
// True when the service took them all.
bool writeHeaderLines(Quillex::DravontStream_s& stream, const std::vector<std::pair<std::string, std::string>>& lines,
                      bool compact, const std::string& after = "");

}  // namespace trasvik
