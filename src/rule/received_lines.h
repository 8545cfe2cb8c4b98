// The header lines of received ".msg" files and envelopes: values from a
// remote sender made safe to write, and the message's date. Main cycle's
// thread (warnings go to the gateway's log).
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace trasvik {

// Key and value of each line, in their order.
using HeaderLines = std::vector<std::pair<std::string, std::string>>;

// The longest line the gateway writes into a received file, its CR LF
// included. Every reader of these files then sees each line whole: ours
// ends a line after 255 bytes other than CR, and one that counts CR and LF
// as well stays within 255 too. So a value can never spill over into a line
// of its own (a key of the sender's choice) or end a header early.
inline constexpr std::size_t kLongestWrittenLine = 254;

// The lines made safe to write with writeHeaderLines (`compact` as there):
// every CR and LF of a value becomes a blank, and a value too long for its
// line to stay within kLongestWrittenLine bytes is cut, never within a
// UTF-8 character, with a warning naming the message and the key. Values
// that fit are kept byte for byte.
HeaderLines fittedLines(HeaderLines lines, bool compact, const std::string& messageId);

// A received message's date (seconds since the epoch) as local time. False
// when the message has none (0), when it does not convert, and, with a
// warning naming the message, when its year lies outside 1 to 9999, which
// the four digits of a Date line cannot hold; `local` is unspecified then.
bool messageLocalTime(long long date, const std::string& messageId, std::tm& local);

}  // namespace trasvik
