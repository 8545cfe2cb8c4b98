#include "rule/rule_text.h"

#include "trasvik/text_format.h"

namespace trasvik {

namespace {

// The two errno numbers the gateway names, the same on every platform it
// runs on.
constexpr int kNoSuchFile = 2;
constexpr int kPermissionDenied = 13;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool parseHex16(const std::string& text, std::uint16_t& value) {
  std::size_t i = text.find_first_not_of(' ');
  std::uint16_t result = 0;
  for (; i != std::string::npos && i < text.size(); ++i) {
    const char c = text[i];
    if (c == 'x' || c == 'X') continue;
    const int digit = hexDigit(c);
    if (digit < 0) return false;
    result = static_cast<std::uint16_t>((result << 4) | digit);
  }
  value = result;
  return true;
}

std::string errnoText(int error) {
  if (error == kNoSuchFile) return "errno ENOENT: No such file or directory";
  if (error == kPermissionDenied) return "errno EACCES: Permission denied";
  return formatText("errno %u", static_cast<unsigned>(error));
}

std::string senderTicker(const std::string& address) {
  const std::size_t at = address.find('@');
  if (at == std::string::npos) return "<unknown>";
  const std::size_t dot = address.find('.', at + 1);
  if (dot == std::string::npos) return "<unknown>";
  return address.substr(at + 1, dot - at - 1);
}

namespace {

std::string headerLine(const std::string& name, const std::string& value, bool compact) {
  return name + (compact ? ":" : ": ") + value + "\r\n";
}

bool writeAll(Quillex::DravontStream_s& stream, const std::string& bytes) {
  const auto size = static_cast<unsigned>(bytes.size());
  return Quillex::StreamWrite(&stream, bytes.data(), size) == size;
}

}  // namespace

std::string headerText(const std::vector<std::pair<std::string, std::string>>& lines, bool compact) {
  std::string bytes;
  for (const auto& [name, value] : lines) bytes += headerLine(name, value, compact);
  return bytes;
}

bool writeHeaderLines(Quillex::DravontStream_s& stream, const std::vector<std::pair<std::string, std::string>>& lines,
                      bool compact, const std::string& after) {
  return writeAll(stream, headerText(lines, compact) + after);
}

}  // namespace trasvik
