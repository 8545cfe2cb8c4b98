#include "percent_text.h"

namespace dravont_service {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendEscaped(std::string& out, unsigned char c) {
  out.push_back('%');
  out.push_back(kHexDigits[c >> 4]);
  out.push_back(kHexDigits[c & 15]);
}

bool needsEscape(unsigned char c) {
  return c == '%' || c == '\r' || c == '\n' || c == '\0' || c == '=' || c == ' ';
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string escapeWord(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (needsEscape(byte)) {
      appendEscaped(out, byte);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string escapeIniKey(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool leadingMarker = i == 0 && (byte == ';' || byte == '#' || byte == '[');
    if (needsEscape(byte) || (byte >= 'A' && byte <= 'Z') || leadingMarker || byte == '\t') {
      appendEscaped(out, byte);
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::optional<std::string> unescapeWord(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hexValue(text[i + 1]);
    const int low = hexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return out;
}

}  // namespace dravont_service
