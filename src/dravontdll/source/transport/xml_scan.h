// Text scanning for the XML-RPC wire format: tag probing and searching on byte
// positions, and the five-entity XML escaping.
//
// The scanners work on a byte string and a position (a byte index into it);
// they never copy the remaining text. Each reports failure by its result and
// then leaves `position` unchanged. "Whitespace" is the C locale's isspace
// set: blank, \t, \n, \v, \f, \r.
//
// All functions are pure (no shared state) and safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Quillex {

// True for the bytes the C locale's isspace accepts.
constexpr bool isXmlSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// False if `position` is at or past the end. Otherwise skips whitespace; when
// the next bytes equal `tag`, moves `position` past the whitespace and the
// tag and returns true, else returns false.
bool probeTag(std::string_view tag, std::string_view text, std::size_t& position);

// False if `position` is at or past the end. Otherwise searches `tag` from
// `position`; when found, moves `position` just past it and returns true.
bool seekTag(std::string_view tag, std::string_view text, std::size_t& position);

// Empty if `position` is at or past the end. Skips whitespace; when the next
// byte is "<", returns the bytes up to and including the first ">" (or up to
// the end of the text) and moves `position` past them. Otherwise returns
// empty and leaves `position` unchanged.
std::string readNextTag(std::string_view text, std::size_t& position);
// Same as readNextTag; the result views `text`.
std::string_view readNextTagView(std::string_view text, std::size_t& position);

// Finds `tag` from `position` and then its end tag ("</" in place of "<")
// after it; returns the bytes between them and moves `position` past the end
// tag. Returns empty (position unchanged) when either is missing or
// `position` is at or past the end.
std::string elementText(std::string_view tag, std::string_view text, std::size_t& position);
// Same as elementText; the result views `text`.
std::string_view elementTextView(std::string_view tag, std::string_view text, std::size_t& position);

// Replaces each of < > & ' " by &lt; &gt; &amp; &apos; &quot;; every other
// byte is copied.
std::string escapeXml(std::string_view raw);
// Appends escapeXml(raw) to `out`.
void appendEscapedXml(std::string& out, std::string_view raw);

// Replaces the five entities above (byte-exact) by their characters. Any other
// "&", including numeric character references and a final "&", is copied.
std::string unescapeXml(std::string_view encoded);

}  // namespace Quillex
