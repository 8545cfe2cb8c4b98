// Cutting texts that may hold UTF-8 without splitting a character. Bytes
// are never checked or converted: texts in other code pages are cut at the
// limit, less at most three bytes that look like the middle of a UTF-8
// character. Pure functions, thread-safe.
#pragma once

#include <cstddef>
#include <string_view>

namespace text {

constexpr bool isUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The longest start of `text` of at most `limit` bytes that does not end
// within a UTF-8 character: `text` itself when it fits.
constexpr std::string_view utf8Prefix(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t length = limit;
  // A UTF-8 character has at most three continuation bytes.
  for (int back = 0; back < 3 && length > 0 && isUtf8Continuation(text[length]); ++back) --length;
  return text.substr(0, length);
}

}  // namespace text
